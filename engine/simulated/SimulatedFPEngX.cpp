#include "SimulatedFPEngX.h"

#include <chrono>

#include "FingerMatcher.h"
#include "SensorCommandExecutor.h"
#include "SensorControlServer.h"

namespace {

constexpr char16_t kSerialNumber[] = u"TSV-SIM-000001";
// How long a control client waits for its touch to be processed by the main thread.
constexpr std::chrono::seconds kControlTouchTimeout{10};

// Exception texts are narrow; anything outside ASCII in a caller's value becomes "?".
std::string NarrowForMessage(std::u16string_view AText) {
  std::string narrow;
  for (char16_t c : AText) narrow.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return narrow;
}

TTemplateFormat RequireFormat(const std::u16string& AVersion) {
  const auto format = TemplateFormatFromVersion(AVersion);
  if (!format) {
    throw EOleException("Unsupported engine version \"" + NarrowForMessage(AVersion) + "\"");
  }
  return *format;
}

}  // namespace

TSimulatedFPEngX::TSimulatedFPEngX(IMainThreadQueue& AQueue, std::string AControlSocketPath)
    : FQueue(AQueue) {
  if (AControlSocketPath.empty()) return;
  FControlServer = std::make_unique<TSensorControlServer>(
      std::move(AControlSocketPath), [this](std::string_view ALine, std::stop_token AStop) {
        return ExecuteSensorCommand(*this, ALine, AStop, kControlTouchTimeout);
      });
}

TSimulatedFPEngX::~TSimulatedFPEngX() {
  FControlServer.reset();
  FGate->Close();
}

int32_t TSimulatedFPEngX::InitEngine() {
  std::lock_guard lock(FLock);
  if (!FPlugged) return kInitSensorNotConnected;
  if (FEnrolling) EndEnrolment();
  FEngineOn = true;
  ++FModeEpoch;
  return 0;
}

void TSimulatedFPEngX::SetReaderInUse(bool AInUse) {
  std::lock_guard lock(FLock);
  FReaderInUse = AInUse;
}

void TSimulatedFPEngX::EndEngine() {
  std::lock_guard lock(FLock);
  StopEngine();
}

void TSimulatedFPEngX::BeginEnroll() {
  std::lock_guard lock(FLock);
  // Without a running engine there is nothing to enrol with; the call is a no-op, as
  // BeginCapture's is.
  if (!FEngineOn) return;
  FEnrolling = true;
  FEnrollIndex = FSettings.EnrollCount;
  FEnrolmentPresses.clear();
  FEnrolled.reset();
  ++FModeEpoch;
}

void TSimulatedFPEngX::CancelEnroll() {
  std::lock_guard lock(FLock);
  if (FEnrolling) EndEnrolment();
}

void TSimulatedFPEngX::BeginCapture() {
  std::lock_guard lock(FLock);
  // A running engine captures whenever it is not enrolling.
  if (FEnrolling) EndEnrolment();
}

int32_t TSimulatedFPEngX::CreateFPCacheDB() {
  std::lock_guard lock(FLock);
  return FCaches.Create();
}

int32_t TSimulatedFPEngX::CreateFPCacheDBEx() {
  std::lock_guard lock(FLock);
  return FCaches.Create();
}

void TSimulatedFPEngX::FreeFPCacheDB(int32_t fpcHandle) {
  std::lock_guard lock(FLock);
  FCaches.Free(fpcHandle);
}

int32_t TSimulatedFPEngX::AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                                         const std::u16string& ARegTemplateStr,
                                                         const std::u16string& ARegTemplate10Str) {
  std::lock_guard lock(FLock);
  return FCaches.Add(fpcHandle, FPID, ARegTemplateStr, ARegTemplate10Str) ? 0 : -1;
}

std::u16string TSimulatedFPEngX::GetTemplateAsString() {
  std::lock_guard lock(FLock);
  return FLastImage ? EncodeTemplate(*FLastImage, FFormat) : std::u16string();
}

std::u16string TSimulatedFPEngX::GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) {
  const TTemplateFormat format = RequireFormat(AFPEngineVersion);
  std::lock_guard lock(FLock);
  return FEnrolled ? EncodeTemplate(*FEnrolled, format) : std::u16string();
}

bool TSimulatedFPEngX::VerFingerFromStr(std::u16string& regTemplateStr,
                                        const std::u16string& verTemplateStr, bool ADoLearning,
                                        bool& ARegFeatureChanged) {
  // The simulation does not learn: the reference template is never rewritten.
  static_cast<void>(ADoLearning);
  ARegFeatureChanged = false;
  int32_t threshold;
  {
    std::lock_guard lock(FLock);
    threshold = FSettings.OneToOneThreshold;
  }
  return ScoreTemplates(regTemplateStr, verTemplateStr) >= threshold;
}

int32_t TSimulatedFPEngX::IdentificationInFPCacheDB(int32_t fpcHandle,
                                                    const OleVariant& pVerTemplate, int32_t& Score,
                                                    int32_t& ProcessedFPNumber) {
  std::lock_guard lock(FLock);
  const auto found = FCaches.Identify(fpcHandle, pVerTemplate, FSettings.Threshold);
  Score = found.Score;
  ProcessedFPNumber = found.Compared;
  return found.Id;
}

bool TSimulatedFPEngX::IsRegister() {
  std::lock_guard lock(FLock);
  return FEnrolling;
}

int32_t TSimulatedFPEngX::EnrollCount() {
  std::lock_guard lock(FLock);
  return FSettings.EnrollCount;
}

void TSimulatedFPEngX::SetEnrollCount(int32_t AValue) {
  if (AValue < 1 || AValue > kMaxEnrollCount) {
    throw EOleException("EnrollCount must be between 1 and " + std::to_string(kMaxEnrollCount));
  }
  std::lock_guard lock(FLock);
  FSettings.EnrollCount = AValue;
}

int32_t TSimulatedFPEngX::EnrollIndex() {
  std::lock_guard lock(FLock);
  return FEnrollIndex;
}

int32_t TSimulatedFPEngX::LastQuality() {
  std::lock_guard lock(FLock);
  return FLastQuality;
}

int32_t TSimulatedFPEngX::SensorCount() {
  std::lock_guard lock(FLock);
  return FPlugged ? 1 : 0;
}

int32_t TSimulatedFPEngX::SensorIndex() {
  std::lock_guard lock(FLock);
  return FSettings.SensorIndex;
}

std::u16string TSimulatedFPEngX::SensorSN() {
  std::lock_guard lock(FLock);
  return FPlugged ? kSerialNumber : u"";
}

std::u16string TSimulatedFPEngX::FPEngineVersion() {
  std::lock_guard lock(FLock);
  return TemplateFormatVersion(FFormat);
}

void TSimulatedFPEngX::SetFPEngineVersion(const std::u16string& AValue) {
  const TTemplateFormat format = RequireFormat(AValue);
  std::lock_guard lock(FLock);
  FFormat = format;
}

// The texts the caches take are those DecodeTemplate reads: no state, so no lock.
std::u16string TSimulatedFPEngX::TemplateFault(const std::u16string& ATemplate) {
  return std::u16string(FingerTemplateFault(ATemplate));
}

// One touch as its steps on the main thread see it.
struct TSimulatedFPEngX::TTouch {
  int32_t Finger = 0;
  int32_t Quality = 0;
  bool Suspicious = false;
  TTouchDone Done;
  TTouchResult Result;
  // Set by the scan step when the press reached a running engine.
  bool Scanned = false;
  uint64_t Epoch = 0;
  uint64_t PressSerial = 0;
};

void TSimulatedFPEngX::Touch(int32_t AFinger, int32_t AQuality, bool ASuspicious,
                             TTouchDone ADone) {
  if (AFinger <= 0) throw EOleException("A finger is named by a positive number");
  if (AQuality < 0 || AQuality > 100) throw EOleException("Quality must be between 0 and 100");
  const int32_t qualityClass = QualityClassOf(AQuality, ASuspicious);
  auto touch = std::make_shared<TTouch>(
      TTouch{AFinger, AQuality, ASuspicious, std::move(ADone),
             TTouchResult{TTouchOutcome::Superseded, AQuality, qualityClass, 0}});
  // On the main thread the steps run inside Queue, and a handler may destroy this engine:
  // from the first step on, only locals are used here, and the steps pass the gate.
  IMainThreadQueue& queue = FQueue;
  auto scan = [this, gate = FGate, touch] {
    if (const TEngineLifeGatePass pass(*gate); pass) ScanStep(*touch);
  };
  auto closing = [this, gate = FGate, touch] {
    if (const TEngineLifeGatePass pass(*gate); pass) ClosingStep(*touch);
  };
  queue.Queue(std::move(scan));
  queue.Queue(std::move(closing));
  queue.Queue([touch] {
    if (touch->Done) touch->Done(touch->Result);
  });
}

void TSimulatedFPEngX::Plug(bool APlugged) {
  std::lock_guard lock(FLock);
  if (!APlugged) StopEngine();
  FPlugged = APlugged;
}

TSensorStatus TSimulatedFPEngX::Status() {
  std::lock_guard lock(FLock);
  return {FPlugged, FEngineOn, FEnrolling, FEnrolling ? FEnrollIndex : 0, FEngineOn && !FEnrolling};
}

TFPEngXSettings TSimulatedFPEngX::Settings() {
  std::lock_guard lock(FLock);
  return FSettings;
}

// On the main thread. Records the image and raises OnFeatureInfo while EnrollIndex still counts
// this press, as the handler expects.
void TSimulatedFPEngX::ScanStep(TTouch& ATouch) {
  {
    std::lock_guard lock(FLock);
    if (!FPlugged) {
      ATouch.Result.Outcome = TTouchOutcome::IgnoredUnplugged;
      return;
    }
    if (!FEngineOn) {
      ATouch.Result.Outcome =
          FReaderInUse ? TTouchOutcome::IgnoredReaderInUse : TTouchOutcome::IgnoredEngineOff;
      return;
    }
    FLastQuality = ATouch.Quality;
    FLastImage = SimulatePress(ATouch.Finger, ATouch.Quality, ++FPressSerial);
    ATouch.Scanned = true;
    ATouch.Epoch = FModeEpoch;
    ATouch.PressSerial = FPressSerial;
  }
  // Last: the handler may destroy the engine.
  if (auto handler = OnFeatureInfo) handler(this, ATouch.Result.QualityClass);
}

// On the main thread. Advances the enrolment or completes the capture and raises the closing
// event, unless the mode changed or another press was scanned since this touch's scan.
void TSimulatedFPEngX::ClosingStep(TTouch& ATouch) {
  if (!ATouch.Scanned) return;
  TPendingEvent event;
  {
    std::lock_guard lock(FLock);
    if (ATouch.Epoch != FModeEpoch || ATouch.PressSerial != FPressSerial) return;
    if (FEnrolling) {
      event = AdvanceEnrolment(ATouch.Result.QualityClass, ATouch.Result);
    } else {
      ATouch.Result.Outcome = TTouchOutcome::Captured;
      event = {TEventKind::Capture, ATouch.Result.QualityClass == kQualityClassGood,
               EncodeTemplate(*FLastImage, FFormat)};
    }
  }
  RaiseEvent(event);
}

// Under FLock, while enrolling, with FLastImage holding this press.
TSimulatedFPEngX::TPendingEvent TSimulatedFPEngX::AdvanceEnrolment(int32_t AQualityClass,
                                                                   TTouchResult& AResult) {
  AResult.EnrollDue = FEnrollIndex;
  if (AQualityClass != kQualityClassGood) {
    AResult.Outcome = TTouchOutcome::EnrollPressNotCounted;
    return {};
  }
  const TFeatureSet& press = *FLastImage;
  if (!FEnrolmentPresses.empty() &&
      MatchScore(FEnrolmentPresses.front(), press) < FSettings.OneToOneThreshold) {
    EndEnrolment();
    AResult.Outcome = TTouchOutcome::EnrollFailed;
    AResult.EnrollDue = 0;
    return {TEventKind::Enroll, false, OleVariant()};
  }
  FEnrolmentPresses.push_back(press);
  AResult.EnrollDue = --FEnrollIndex;
  if (FEnrollIndex > 0) {
    AResult.Outcome = TTouchOutcome::EnrollPressCounted;
    return {};
  }
  FEnrolled = FuseEnrolmentPresses(FEnrolmentPresses);
  EndEnrolment();
  AResult.Outcome = TTouchOutcome::EnrollFinished;
  return {TEventKind::Enroll, true, EncodeTemplate(*FEnrolled, FFormat)};
}

void TSimulatedFPEngX::RaiseEvent(const TPendingEvent& AEvent) {
  if (AEvent.Kind == TEventKind::Enroll) {
    if (auto handler = OnEnroll) handler(this, AEvent.ActionResult, AEvent.Template);
  } else if (AEvent.Kind == TEventKind::Capture) {
    if (auto handler = OnCapture) handler(this, AEvent.ActionResult, AEvent.Template);
  }
}

// Under FLock.
void TSimulatedFPEngX::EndEnrolment() {
  FEnrolling = false;
  FEnrollIndex = 0;
  FEnrolmentPresses.clear();
  ++FModeEpoch;
}

// Under FLock.
void TSimulatedFPEngX::StopEngine() {
  if (FEnrolling) EndEnrolment();
  FEngineOn = false;
  ++FModeEpoch;
}
