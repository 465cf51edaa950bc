#include "FprintReader.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "PrintScan.h"

namespace {

// After any other failure of a capture: long enough not to spin on a failing reader.
constexpr std::chrono::seconds kRetryAfterFailure{2};

bool CanCapture(FpDevice* ADevice) {
  return fp_device_has_feature(ADevice, FP_DEVICE_FEATURE_CAPTURE);
}

std::string NameOf(FpDevice* ADevice) {
  return std::string(fp_device_get_driver(ADevice)) + ":" + fp_device_get_device_id(ADevice);
}

bool MentionsBusy(const GError* AError) {
  std::string text = AError->message;
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text.find("busy") != std::string::npos;
}

std::string OpenFailure(const std::string& AName, const GError* AError) {
  // Another process, typically fprintd, holding the device is the common case on a desktop.
  if (g_error_matches(AError, FP_DEVICE_ERROR, FP_DEVICE_ERROR_BUSY) || MentionsBusy(AError)) {
    return "reader " + AName + " busy: is fprintd holding it? (systemctl stop fprintd)";
  }
  return "cannot open reader " + AName + ": " + AError->message;
}

TGSourcePtr AttachTimer(std::chrono::seconds ADelay, GSourceFunc ACallback, gpointer AData) {
  GSource* source = g_timeout_source_new_seconds(static_cast<guint>(ADelay.count()));
  g_source_set_callback(source, ACallback, AData, nullptr);
  g_source_attach(source, g_main_context_get_thread_default());
  return TGSourcePtr(source);
}

}  // namespace

std::shared_ptr<TFprintReader> TFprintReader::Create(TSinks ASinks, TArmingTimes ATimes) {
  std::shared_ptr<TFprintReader> reader(new TFprintReader(std::move(ASinks), ATimes));
  reader->Enumerate();
  return reader;
}

TFprintReader::TFprintReader(TSinks ASinks, TArmingTimes ATimes)
    : FSinks(std::move(ASinks)),
      FTimes(ATimes),
      FContext(fp_context_new()),
      FGallery(g_ptr_array_new_with_free_func(g_object_unref)) {}

TFprintReader::~TFprintReader() {
  FTimer.reset();
  g_signal_handlers_disconnect_by_data(FContext.get(), this);
  // A reader whose close did not finish in time is still in its driver's hands: destroying it
  // there is unsafe (libfprint refuses, "User destroyed open device!"). It is left to the
  // process, with its context, still referenced so that no leak check counts it.
  if (FState != TState::Closed) {
    static auto* const abandoned =
        new std::vector<std::pair<TGObjectPtr<FpContext>, TGObjectPtr<FpDevice>>>;
    abandoned->emplace_back(std::move(FContext), std::move(FDevice));
  }
}

void TFprintReader::Enumerate() {
  g_signal_connect(FContext.get(), "device-added", G_CALLBACK(&TFprintReader::DeviceAdded), this);
  g_signal_connect(FContext.get(), "device-removed", G_CALLBACK(&TFprintReader::DeviceRemoved),
                   this);
  FSinks.ReaderCount(CountReaders(nullptr));
}

int TFprintReader::CountReaders(FpDevice* AGone) {
  GPtrArray* devices = fp_context_get_devices(FContext.get());
  int count = 0;
  for (guint i = 0; i < devices->len; ++i) {
    auto* device = static_cast<FpDevice*>(g_ptr_array_index(devices, i));
    if (device != AGone && CanCapture(device)) ++count;
  }
  return count;
}

void TFprintReader::DeviceAdded(FpContext*, FpDevice*, gpointer ASelf) {
  auto& self = *static_cast<TFprintReader*>(ASelf);
  self.FSinks.ReaderCount(self.CountReaders(nullptr));
}

// Raised while the device is still listed.
void TFprintReader::DeviceRemoved(FpContext*, FpDevice* ADevice, gpointer ASelf) {
  auto& self = *static_cast<TFprintReader*>(ASelf);
  self.FSinks.ReaderCount(self.CountReaders(ADevice));
}

void TFprintReader::Open(std::function<void(TOpenResult)> ADone) {
  FWantOpen = true;
  if (FState == TState::Open) {
    Attention();
    ADone({TOpenOutcome::Opened, FName, {}});
    return;
  }
  FOpenWaiters.push_back(std::move(ADone));
  if (FState == TState::Closed) StartOpen();
}

void TFprintReader::StartOpen() {
  GPtrArray* devices = fp_context_get_devices(FContext.get());
  FpDevice* chosen = nullptr;
  for (guint i = 0; i < devices->len && chosen == nullptr; ++i) {
    auto* device = static_cast<FpDevice*>(g_ptr_array_index(devices, i));
    if (CanCapture(device)) chosen = device;
  }
  if (chosen == nullptr) {
    FWantOpen = false;
    for (auto& waiter : std::exchange(FOpenWaiters, {})) {
      waiter({TOpenOutcome::NoReader, {}, "no fingerprint reader that captures images"});
    }
    return;
  }
  FDevice = RefGObject(chosen);
  FName = NameOf(chosen);
  FState = TState::Opening;
  fp_device_open(chosen, nullptr, &TFprintReader::Completed<&TFprintReader::Opened>, Token());
}

void TFprintReader::Opened(FpDevice* ADevice, GAsyncResult* AResult) {
  g_autoptr(GError) error = nullptr;
  if (!fp_device_open_finish(ADevice, AResult, &error)) {
    FState = TState::Closed;
    FDevice.reset();
    FWantOpen = false;
    const TOpenResult failed{TOpenOutcome::Failed, FName, OpenFailure(FName, error)};
    for (auto& waiter : std::exchange(FOpenWaiters, {})) waiter(failed);
    for (auto& waiter : std::exchange(FCloseWaiters, {})) waiter();
    return;
  }
  FState = TState::Open;
  if (!FWantOpen) {
    FState = TState::Closing;
    StartClose();
    return;
  }
  for (auto& waiter : std::exchange(FOpenWaiters, {})) waiter({TOpenOutcome::Opened, FName, {}});
  // A close asked for while it opened was superseded by a later open.
  for (auto& waiter : std::exchange(FCloseWaiters, {})) waiter();
  Arm();
}

void TFprintReader::Close(std::function<void()> ADone) {
  FWantOpen = false;
  // The last request decides: an open asked for before this close ends here, unopened.
  for (auto& waiter : std::exchange(FOpenWaiters, {})) {
    waiter({TOpenOutcome::Failed, FName, "closed before it opened"});
  }
  if (FState == TState::Closed) {
    ADone();
    return;
  }
  FCloseWaiters.push_back(std::move(ADone));
  if (FState != TState::Open) return;  // opening or closing: finishes there
  FState = TState::Closing;
  FTimer.reset();
  FCooling = false;
  // A capture in progress is cancelled and its end awaited: closing a busy device fails.
  if (FCapture) {
    g_cancellable_cancel(FCapture.get());
  } else {
    StartClose();
  }
}

void TFprintReader::StartClose() {
  fp_device_close(FDevice.get(), nullptr, &TFprintReader::Completed<&TFprintReader::Closed>,
                  Token());
}

void TFprintReader::Closed(FpDevice* ADevice, GAsyncResult* AResult) {
  // An unplugged reader fails to close; it is released all the same.
  g_autoptr(GError) ignored = nullptr;
  fp_device_close_finish(ADevice, AResult, &ignored);
  FDevice.reset();
  FState = TState::Closed;
  for (auto& waiter : std::exchange(FCloseWaiters, {})) waiter();
  if (FWantOpen) StartOpen();
}

void TFprintReader::SetWatched(bool AWatched) {
  if (FWatched == AWatched) return;
  FWatched = AWatched;
  if (FState != TState::Open) return;
  if (AWatched) {
    Attention();
    return;
  }
  if (FCapture) {
    // Identified then leaves it disarmed.
    FSpellOver = false;
    g_cancellable_cancel(FCapture.get());
  }
  if (!FCooling) FTimer.reset();  // no spell to end, no rest to end: it stays disarmed
}

void TFprintReader::Attention() {
  if (FState != TState::Open || !FWatched || FCooling) return;
  if (!FCapture) {
    FTimer.reset();
    Arm();
    return;
  }
  // A spell's end under way is undone: the capture is armed again at once instead of resting.
  FSpellOver = false;
  if (!g_cancellable_is_cancelled(FCapture.get())) {
    FTimer = AttachTimer(FTimes.Spell, &TFprintReader::SpellEnded, this);
  }
}

void TFprintReader::Arm() {
  if (!StartCapture()) return;
  FTimer = AttachTimer(FTimes.Spell, &TFprintReader::SpellEnded, this);
}

bool TFprintReader::StartCapture() {
  if (FState != TState::Open || !FWatched) return false;
  FCapture.reset(g_cancellable_new());
  fp_device_identify(FDevice.get(), FGallery.get(), FCapture.get(), nullptr, nullptr, nullptr,
                     &TFprintReader::Completed<&TFprintReader::Identified>, Token());
  return true;
}

void TFprintReader::ArmLater(std::chrono::seconds ADelay) {
  FTimer = AttachTimer(ADelay, &TFprintReader::ArmAgain, this);
}

void TFprintReader::TooHot(const std::string& AWhy) {
  FCooling = true;
  Report({TScanKind::TooHot,
          {},
          {},
          "reader too hot (" + AWhy + "): no press can be read; next try in " +
              std::to_string(FTimes.CoolDown.count()) + " s"});
  FTimer = AttachTimer(FTimes.CoolDown, &TFprintReader::CoolDownEnded, this);
}

gboolean TFprintReader::SpellEnded(gpointer ASelf) {
  auto& self = *static_cast<TFprintReader*>(ASelf);
  if (!self.FCapture) return G_SOURCE_REMOVE;
  // Not while a finger lies on it: that press is about to complete. Nor on a reader libfprint
  // keeps cold however long it is armed: it has no heat limit, and needs no rest.
  if ((fp_device_get_finger_status(self.FDevice.get()) & FP_FINGER_STATUS_PRESENT) ||
      fp_device_get_temperature(self.FDevice.get()) == FP_TEMPERATURE_COLD) {
    return G_SOURCE_CONTINUE;
  }
  // The capture ends cancelled and Identified lets the reader rest.
  self.FSpellOver = true;
  g_cancellable_cancel(self.FCapture.get());
  return G_SOURCE_REMOVE;
}

gboolean TFprintReader::ArmAgain(gpointer ASelf) {
  static_cast<TFprintReader*>(ASelf)->Arm();
  return G_SOURCE_REMOVE;
}

gboolean TFprintReader::CoolDownEnded(gpointer ASelf) {
  auto& self = *static_cast<TFprintReader*>(ASelf);
  // Arming a reader libfprint still counts as hot would only be refused again.
  if (fp_device_get_temperature(self.FDevice.get()) == FP_TEMPERATURE_HOT) {
    self.TooHot("still");
    return G_SOURCE_REMOVE;
  }
  self.FCooling = false;
  self.Report({TScanKind::Cooled, {}, {}, "reader cooled down: presses are read again"});
  self.Arm();
  return G_SOURCE_REMOVE;
}

void TFprintReader::Identified(FpDevice* ADevice, GAsyncResult* AResult) {
  FCapture.reset();
  const bool spellOver = std::exchange(FSpellOver, false);
  g_autoptr(FpPrint) match = nullptr;
  g_autoptr(FpPrint) print = nullptr;
  g_autoptr(GError) error = nullptr;
  fp_device_identify_finish(ADevice, AResult, &match, &print, &error);
  if (FState == TState::Closing) {
    StartClose();
    return;
  }
  if (print != nullptr) {
    Report(ScanFromPrint(print));
    // Someone is using the reader: a new spell, so that an enrolment's next press is read
    // however long the last one took, never lost to a rest.
    Arm();
  } else if (error == nullptr || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    if (spellOver) {
      ArmLater(FTimes.Rest);
    } else {
      Arm();  // unless no page watches
    }
  } else if (error->domain == FP_DEVICE_RETRY) {
    Report({TScanKind::Retry, {}, {}, error->message});
    Arm();
  } else if (g_error_matches(error, FP_DEVICE_ERROR, FP_DEVICE_ERROR_REMOVED)) {
    FTimer.reset();
    Report({TScanKind::Removed, {}, {}, error->message});
    // Closing lets the context drop the device.
    FWantOpen = false;
    FState = TState::Closing;
    StartClose();
  } else if (g_error_matches(error, FP_DEVICE_ERROR, FP_DEVICE_ERROR_TOO_HOT)) {
    TooHot(error->message);
  } else {
    Report({TScanKind::Failed, {}, {}, error->message});
    ArmLater(kRetryAfterFailure);
  }
}

void TFprintReader::Report(TReaderScan AScan) {
  if (FSinks.Scan) FSinks.Scan(std::move(AScan));
}

gpointer TFprintReader::Token() {
  return new std::weak_ptr<TFprintReader>(weak_from_this());
}

template <void (TFprintReader::*Method)(FpDevice*, GAsyncResult*)>
void TFprintReader::Completed(GObject* ASource, GAsyncResult* AResult, gpointer AToken) {
  const std::unique_ptr<std::weak_ptr<TFprintReader>> token(
      static_cast<std::weak_ptr<TFprintReader>*>(AToken));
  if (const auto self = token->lock()) ((*self).*Method)(FP_DEVICE(ASource), AResult);
}
