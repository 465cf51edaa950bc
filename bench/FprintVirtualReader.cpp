#include "FprintVirtualReader.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// Far beyond one press (a few hundred ms); only a lost press takes this long.
constexpr guint kOperationLimitSeconds = 60;

[[noreturn]] void Fail(const std::string& AWhat, const GError* AError) {
  throw EFprintReader(AWhat + (AError != nullptr ? std::string(": ") + AError->message : std::string()));
}

}  // namespace

// One enrolment or match: the presses it may use, a cancellable and a time limit.
class TFprintVirtualReader::TOperation {
 public:
  TOperation(TFprintVirtualReader& AReader, std::span<const TGreyImage* const> APresses)
      : FReader(AReader), FStart(std::chrono::steady_clock::now()), FCancellable(g_cancellable_new()),
        FLimit(g_timeout_source_new_seconds(kOperationLimitSeconds)) {
    FReader.FPending.assign(APresses.begin(), APresses.end());
    FReader.FCancellable = FCancellable.get();
    g_source_set_callback(FLimit.get(), &TOperation::Expired, FCancellable.get(), nullptr);
    g_source_attach(FLimit.get(), nullptr);
    FReader.PressWhenAsked();
  }
  ~TOperation() {
    FReader.FSecondsInUse += std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    FReader.FPending.clear();
    FReader.FCancellable = nullptr;
  }
  TOperation(const TOperation&) = delete;
  TOperation& operator=(const TOperation&) = delete;

  GCancellable* Cancellable() const { return FCancellable.get(); }

 private:
  static gboolean Expired(gpointer ACancellable) {
    g_cancellable_cancel(G_CANCELLABLE(ACancellable));
    return G_SOURCE_REMOVE;
  }

  TFprintVirtualReader& FReader;
  const std::chrono::steady_clock::time_point FStart;
  TGObjectPtr<GCancellable> FCancellable;
  TGSourcePtr FLimit;
};

TFprintVirtualReader::TFprintVirtualReader(const std::string& ASocketPath) : FPresser(ASocketPath) {
  // libfprint creates the virtual reader while enumerating, when this variable names a socket.
  setenv("FP_VIRTUAL_IMAGE", ASocketPath.c_str(), 1);
  FContext.reset(fp_context_new());
  GPtrArray* devices = fp_context_get_devices(FContext.get());
  for (guint i = 0; i < devices->len; ++i) {
    auto* device = FP_DEVICE(g_ptr_array_index(devices, i));
    if (std::strcmp(fp_device_get_driver(device), "virtual_image") == 0) {
      FDevice.reset(FP_DEVICE(g_object_ref(device)));
    }
  }
  if (!FDevice) throw EFprintReader("libfprint shows no virtual image reader");
  g_autoptr(GError) error = nullptr;
  if (!fp_device_open_sync(FDevice.get(), nullptr, &error)) Fail("cannot open the virtual reader", error);
  FStatusHandler = g_signal_connect(FDevice.get(), "notify::finger-status",
                                    G_CALLBACK(&TFprintVirtualReader::FingerStatusChanged), this);
}

TFprintVirtualReader::~TFprintVirtualReader() {
  g_signal_handler_disconnect(FDevice.get(), FStatusHandler);
  fp_device_close_sync(FDevice.get(), nullptr, nullptr);
}

int TFprintVirtualReader::EnrolPresses() const { return fp_device_get_nr_enroll_stages(FDevice.get()); }

TGObjectPtr<FpPrint> TFprintVirtualReader::Enrol(std::span<const TGreyImage* const> APresses,
                                                 std::string& AError) {
  const TOperation operation(*this, APresses);
  FpPrint* initial = fp_print_new(FDevice.get());  // floating: the enrolment takes it
  fp_print_set_finger(initial, FP_FINGER_RIGHT_INDEX);
  g_autoptr(GError) error = nullptr;
  TGObjectPtr<FpPrint> print(
      fp_device_enroll_sync(FDevice.get(), initial, operation.Cancellable(), nullptr, nullptr, &error));
  CheckPresses();
  if (error != nullptr) AError = error->message;
  return print;
}

TFprintMatch TFprintVirtualReader::Verify(FpPrint* AEnrolled, const TGreyImage& AProbe) {
  const TGreyImage* press = &AProbe;
  const TOperation operation(*this, {&press, 1});
  gboolean match = FALSE;
  g_autoptr(FpPrint) scanned = nullptr;
  g_autoptr(GError) error = nullptr;
  TFprintMatch result;
  result.Scanned = fp_device_verify_sync(FDevice.get(), AEnrolled, operation.Cancellable(), nullptr,
                                         nullptr, &match, &scanned, &error);
  CheckPresses();
  if (error != nullptr) result.Error = error->message;
  result.Matched = result.Scanned && match ? 0 : -1;
  result.Milliseconds = MillisecondsSincePress();
  return result;
}

TFprintMatch TFprintVirtualReader::Identify(std::span<FpPrint* const> AGallery, const TGreyImage& AProbe) {
  const TGreyImage* press = &AProbe;
  const TOperation operation(*this, {&press, 1});
  g_autoptr(GPtrArray) gallery = g_ptr_array_new();
  for (FpPrint* print : AGallery) g_ptr_array_add(gallery, print);
  g_autoptr(FpPrint) matched = nullptr;
  g_autoptr(FpPrint) scanned = nullptr;
  g_autoptr(GError) error = nullptr;
  TFprintMatch result;
  result.Scanned = fp_device_identify_sync(FDevice.get(), gallery, operation.Cancellable(), nullptr,
                                           nullptr, &matched, &scanned, &error);
  CheckPresses();
  if (error != nullptr) result.Error = error->message;
  for (std::size_t i = 0; matched != nullptr && i < AGallery.size(); ++i) {
    if (AGallery[i] == matched) result.Matched = static_cast<int>(i);
  }
  result.Milliseconds = MillisecondsSincePress();
  return result;
}

void TFprintVirtualReader::FingerStatusChanged(GObject*, GParamSpec*, gpointer ASelf) {
  static_cast<TFprintVirtualReader*>(ASelf)->PressWhenAsked();
}

// One press each time the reader starts asking for a finger; when it asks for more than the
// operation has, a press was rejected and the operation ends.
void TFprintVirtualReader::PressWhenAsked() {
  const FpFingerStatusFlags status = fp_device_get_finger_status(FDevice.get());
  const bool asking = (status & FP_FINGER_STATUS_NEEDED) != 0 && (status & FP_FINGER_STATUS_PRESENT) == 0;
  if (asking && !FAsking && FCancellable != nullptr) {
    if (FPending.empty()) {
      g_cancellable_cancel(FCancellable);
    } else {
      FPresser.Press(*FPending.front());
      FPending.pop_front();
    }
  }
  FAsking = asking;
}

void TFprintVirtualReader::CheckPresses() {
  const std::string error = FPresser.TakeError();
  if (!error.empty()) throw EFprintReader(error);
}

double TFprintVirtualReader::MillisecondsSincePress() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - FPresser.LastPressStart())
      .count();
}
