#include "FprintFPEngX.h"

#include <utility>

#include "FprintReader.h"
#include "GLibLoopThread.h"
#include "ReaderScore.h"

namespace {

constexpr int32_t kQualityClassGood = 0;
constexpr int32_t kQualityClassPoor = 1;
// Opening a USB reader can take seconds (some calibrate); beyond these the reader is stuck.
constexpr std::chrono::seconds kOpenTimeout{30};
constexpr std::chrono::seconds kCloseTimeout{15};
// When the engine goes with the program, a reader that does not finish closing is left behind
// sooner: the program's end (or the window's closing) must not wait on a stuck reader.
constexpr std::chrono::milliseconds kCloseTimeoutAtEnd{1500};

// Exception and log texts are narrow ASCII; anything else becomes "?".
std::string Narrow(std::u16string_view AText) {
  std::string narrow;
  for (char16_t c : AText) narrow.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return narrow;
}

std::u16string Widen(std::string_view AText) {
  std::u16string wide;
  for (char c : AText) {
    const auto byte = static_cast<unsigned char>(c);
    wide.push_back(byte >= 0x20 && byte < 0x7F ? byte : u'?');
  }
  return wide;
}

int RequireFormat(const std::u16string& AVersion) {
  if (AVersion == u"9") return 9;
  if (AVersion == u"10") return 10;
  throw EOleException("Unsupported engine version \"" + Narrow(AVersion) + "\"");
}

template <class THandler>
void RunHandler(std::exception_ptr& AHandlerError, THandler&& AHandler) {
  try {
    AHandler();
  } catch (...) {
    if (!AHandlerError) AHandlerError = std::current_exception();
  }
}

}  // namespace

TFprintFPEngX::TFprintFPEngX(IMainThreadQueue& AQueue, TArmingTimes ATimes)
    : FQueue(AQueue), FLoop(TGLibLoopThread::Acquire()) {
  FLoop->Invoke([this, ATimes] {
    FReader = TFprintReader::Create({[this](TReaderScan AScan) { ScanArrived(std::move(AScan)); },
                                     [this](int ACount) { FReaderCount = ACount; }},
                                    ATimes);
  });
}

TFprintFPEngX::~TFprintFPEngX() {
  CloseReader(kCloseTimeoutAtEnd);
  FLoop->Invoke([this] { FReader.reset(); });
  FGate->Close();
}

int32_t TFprintFPEngX::InitEngine() {
  std::lock_guard switching(FSwitchLock);
  auto done = std::make_shared<TCompletion<TFprintReader::TOpenResult>>();
  FLoop->Post([this, done] {
    FReader->Open([done](TFprintReader::TOpenResult AResult) { done->Set(std::move(AResult)); });
  });
  const auto opened = done->WaitFor(kOpenTimeout);
  bool enrolmentEnded = false;
  {
    std::lock_guard lock(FLock);
    if (!opened) {
      FLastError = u"the reader did not open in time";
      return kInitFailed;
    }
    if (opened->Outcome != TFprintReader::TOpenOutcome::Opened) {
      FLastError = Widen(opened->Error);
      return opened->Outcome == TFprintReader::TOpenOutcome::NoReader ? kInitNoReader
                                                                     : kInitFailed;
    }
    // Another client's init ends an enrolment under way.
    enrolmentEnded = EndEnrolment();
    FEngineOn = true;
    ++FModeEpoch;
    FSensorSN = Widen(opened->Name);
    FLastError.clear();
  }
  if (enrolmentEnded) AnnounceEnrolmentFailed();
  return 0;
}

void TFprintFPEngX::EndEngine() {
  std::lock_guard switching(FSwitchLock);
  bool enrolmentEnded;
  {
    std::lock_guard lock(FLock);
    enrolmentEnded = StopEngine();
  }
  if (enrolmentEnded) AnnounceEnrolmentFailed();
  CloseReader(kCloseTimeout);
}

void TFprintFPEngX::CloseReader(std::chrono::milliseconds ATimeout) {
  auto done = std::make_shared<TCompletion<bool>>();
  FLoop->Post([this, done] { FReader->Close([done] { done->Set(true); }); });
  if (!done->WaitFor(ATimeout)) {
    std::lock_guard lock(FLock);
    FLastError = u"the reader did not close in time";
  }
}

void TFprintFPEngX::BeginEnroll() {
  std::lock_guard lock(FLock);
  // Without a running engine there is nothing to enrol with, as with the simulated sensor.
  if (!FEngineOn) return;
  FEnrolling = true;
  FEnrollIndex = FEnrollCount;
  // A press joins the enrolment when it verifies against a counted one.
  FEnrolment = TEnrolmentPresses(FEnrollCount, kReaderOneToOneThreshold);
  FEnrolled.clear();
  ++FModeEpoch;
  WakeReader();
}

void TFprintFPEngX::CancelEnroll() {
  std::lock_guard lock(FLock);
  EndEnrolment();
}

void TFprintFPEngX::BeginCapture() {
  std::lock_guard lock(FLock);
  // Capturing is what the engine does when not enrolling; a resting reader is armed at once.
  EndEnrolment();
  if (FEngineOn) WakeReader();
}

void TFprintFPEngX::WakeReader() {
  FLoop->Post([this] { FReader->Attention(); });
}

void TFprintFPEngX::SetClientCount(int32_t ACount) {
  FLoop->Post([this, watched = ACount > 0] { FReader->SetWatched(watched); });
}

int32_t TFprintFPEngX::CreateFPCacheDB() {
  std::lock_guard lock(FLock);
  return FCaches.Create();
}

int32_t TFprintFPEngX::CreateFPCacheDBEx() {
  std::lock_guard lock(FLock);
  return FCaches.Create();
}

void TFprintFPEngX::FreeFPCacheDB(int32_t fpcHandle) {
  std::lock_guard lock(FLock);
  FCaches.Free(fpcHandle);
}

int32_t TFprintFPEngX::AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                                      const std::u16string& ARegTemplateStr,
                                                      const std::u16string& ARegTemplate10Str) {
  std::lock_guard lock(FLock);
  return FCaches.Add(fpcHandle, FPID, ARegTemplateStr, ARegTemplate10Str) ? 0 : -1;
}

std::u16string TFprintFPEngX::GetTemplateAsString() {
  std::lock_guard lock(FLock);
  return FLastPress ? EncodeMinutiaeTemplate(*FLastPress, FFormat) : std::u16string();
}

std::u16string TFprintFPEngX::GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) {
  const int format = RequireFormat(AFPEngineVersion);
  std::lock_guard lock(FLock);
  return FEnrolled.empty() ? std::u16string() : EncodeTemplateSamples(FEnrolled, format);
}

bool TFprintFPEngX::VerFingerFromStr(std::u16string& regTemplateStr,
                                     const std::u16string& verTemplateStr, bool ADoLearning,
                                     bool& ARegFeatureChanged) {
  // No learning: the reference template is never rewritten.
  static_cast<void>(ADoLearning);
  ARegFeatureChanged = false;
  const auto score = TMinutiaeTemplateCodec::ScoreTexts(regTemplateStr, verTemplateStr);
  return score && *score >= kReaderOneToOneThreshold;
}

int32_t TFprintFPEngX::IdentificationInFPCacheDB(int32_t fpcHandle, const OleVariant& pVerTemplate,
                                                 int32_t& Score, int32_t& ProcessedFPNumber) {
  std::lock_guard lock(FLock);
  const auto found = FCaches.Identify(fpcHandle, pVerTemplate, kReaderThreshold);
  Score = found.Score;
  ProcessedFPNumber = found.Compared;
  return found.Id;
}

bool TFprintFPEngX::IsRegister() {
  std::lock_guard lock(FLock);
  return FEnrolling;
}

int32_t TFprintFPEngX::EnrollCount() {
  std::lock_guard lock(FLock);
  return FEnrollCount;
}

void TFprintFPEngX::SetEnrollCount(int32_t AValue) {
  if (AValue < 1 || AValue > kMaxEnrollCount) {
    throw EOleException("EnrollCount must be between 1 and " + std::to_string(kMaxEnrollCount));
  }
  std::lock_guard lock(FLock);
  FEnrollCount = AValue;
}

int32_t TFprintFPEngX::EnrollIndex() {
  std::lock_guard lock(FLock);
  // With no reader running no enrolment can have begun: every press is still due, so that the
  // reply to an enrolment asked for now does not read as one already finished.
  return FEngineOn ? FEnrollIndex : FEnrollCount;
}

int32_t TFprintFPEngX::LastQuality() {
  std::lock_guard lock(FLock);
  return FLastQuality;
}

int32_t TFprintFPEngX::SensorCount() {
  return FReaderCount;
}

int32_t TFprintFPEngX::SensorIndex() {
  return 0;
}

std::u16string TFprintFPEngX::SensorSN() {
  std::lock_guard lock(FLock);
  return FSensorSN;
}

std::u16string TFprintFPEngX::FPEngineVersion() {
  std::lock_guard lock(FLock);
  return FFormat == 10 ? u"10" : u"9";
}

void TFprintFPEngX::SetFPEngineVersion(const std::u16string& AValue) {
  const int format = RequireFormat(AValue);
  std::lock_guard lock(FLock);
  FFormat = format;
}

std::u16string TFprintFPEngX::LastError() {
  std::lock_guard lock(FLock);
  return FLastError;
}

// The texts the caches take are those TMinutiaeTemplateCodec reads: no state, so no lock.
std::u16string TFprintFPEngX::TemplateFault(const std::u16string& ATemplate) {
  return std::u16string(TemplateSamplesFault(ATemplate));
}

// On the loop thread. Rating happens here, off the main thread; the press then goes there.
void TFprintFPEngX::ScanArrived(TReaderScan AScan) {
  switch (AScan.Kind) {
    case TScanKind::Removed: {
      bool enrolmentEnded;
      {
        std::lock_guard lock(FLock);
        enrolmentEnded = StopEngine();
        FSensorSN.clear();
        FLastError = u"the reader was unplugged";
      }
      if (enrolmentEnded) AnnounceEnrolmentFailed();
      return;
    }
    case TScanKind::Failed: {
      std::lock_guard lock(FLock);
      FLastError = Widen(AScan.Detail);
      return;
    }
    case TScanKind::TooHot:
    case TScanKind::Cooled:
      AnnounceHeat(AScan.Kind == TScanKind::TooHot, Widen(AScan.Detail));
      return;
    case TScanKind::Image:
    case TScanKind::Retry:
      break;
  }
  // The press belongs to the mode it arrived in, however long the main thread takes to get to
  // it: one queued before an "enroll" is no enrolment press.
  uint64_t epoch;
  {
    std::lock_guard lock(FLock);
    epoch = FModeEpoch;
  }
  OnMainThread([this, epoch, press = AnalysePress(AScan)](TEngineLifeGate& AGate,
                                                          std::exception_ptr& AHandlerError) {
    ProcessPress(press, epoch, AGate, AHandlerError);
  });
}

void TFprintFPEngX::OnMainThread(
    std::function<void(TEngineLifeGate&, std::exception_ptr&)> AProc) {
  FQueue.Queue([gate = FGate, proc = std::move(AProc)] {
    std::exception_ptr handlerError;
    if (const TEngineLifeGatePass pass(*gate); pass) proc(*gate, handlerError);
    if (handlerError) std::rethrow_exception(handlerError);
  });
}

// Not under FLock: on the main thread the queue raises the event at once.
void TFprintFPEngX::AnnounceEnrolmentFailed() {
  OnMainThread([this](TEngineLifeGate&, std::exception_ptr& AHandlerError) {
    RaiseEvent({TEventKind::Enroll, false, OleVariant()}, AHandlerError);
  });
}

void TFprintFPEngX::AnnounceHeat(bool ATooHot, std::u16string AText) {
  OnMainThread([this, ATooHot, text = std::move(AText)](TEngineLifeGate& AGate,
                                                        std::exception_ptr& AHandlerError) {
    RunHandler(AHandlerError, [&] {
      if (auto handler = OnNotice) handler(this, text);
    });
    if (!ATooHot || !AGate.IsOpen()) return;
    {
      std::lock_guard lock(FLock);
      if (!FEngineOn) return;
      FLastQuality = 0;
    }
    RunHandler(AHandlerError, [&] {
      if (auto handler = OnFeatureInfo) handler(this, kQualityClassPoor);
    });
  });
}

// On the main thread. The first half records the press and raises OnFeatureInfo while
// EnrollIndex still counts it; the second half advances the enrolment or completes the capture,
// when the mode AEpoch it arrived in still holds.
void TFprintFPEngX::ProcessPress(const TAnalysedPress& APress, uint64_t AEpoch,
                                 TEngineLifeGate& AGate, std::exception_ptr& AHandlerError) {
  {
    std::lock_guard lock(FLock);
    if (!FEngineOn) return;
    FLastQuality = APress.Quality;
    FLastPress = APress.Template;
  }
  RunHandler(AHandlerError, [&] {
    if (auto handler = OnFeatureInfo) handler(this, APress.QualityClass);
  });
  if (!AGate.IsOpen()) return;

  TPendingEvent event;
  {
    std::lock_guard lock(FLock);
    if (AEpoch != FModeEpoch) return;
    if (FEnrolling) {
      event = AdvanceEnrolment(APress);
    } else {
      event = {TEventKind::Capture, APress.QualityClass == kQualityClassGood,
               APress.Template ? EncodeMinutiaeTemplate(*APress.Template, FFormat) : OleVariant()};
    }
  }
  RaiseEvent(event, AHandlerError);
}

// Under FLock, while enrolling.
TFprintFPEngX::TPendingEvent TFprintFPEngX::AdvanceEnrolment(const TAnalysedPress& APress) {
  const TEnrolmentPresses::TStep step = FEnrolment.Add(APress);
  FEnrollIndex = FEnrolment.Remaining();
  switch (step) {
    case TEnrolmentPresses::TStep::NotCounted:
    case TEnrolmentPresses::TStep::Counted:
      return {};
    case TEnrolmentPresses::TStep::Failed:
      EndEnrolment();
      return {TEventKind::Enroll, false, OleVariant()};
    case TEnrolmentPresses::TStep::Finished:
      break;
  }
  // The presses stay separate samples: a probe matches the sample it overlaps best, where a
  // merge of presses that align badly would lose minutiae of each.
  FEnrolled = FEnrolment.Counted();
  EndEnrolment();
  return {TEventKind::Enroll, true, EncodeTemplateSamples(FEnrolled, FFormat)};
}

void TFprintFPEngX::RaiseEvent(const TPendingEvent& AEvent, std::exception_ptr& AHandlerError) {
  RunHandler(AHandlerError, [&] {
    if (AEvent.Kind == TEventKind::Enroll) {
      if (auto handler = OnEnroll) handler(this, AEvent.ActionResult, AEvent.Template);
    } else if (AEvent.Kind == TEventKind::Capture) {
      if (auto handler = OnCapture) handler(this, AEvent.ActionResult, AEvent.Template);
    }
  });
}

// Under FLock. Whether an enrolment was under way.
bool TFprintFPEngX::EndEnrolment() {
  if (!FEnrolling) return false;
  FEnrolling = false;
  FEnrollIndex = 0;
  FEnrolment = TEnrolmentPresses(0, kReaderOneToOneThreshold);
  ++FModeEpoch;
  return true;
}

// Under FLock. Whether it ended an enrolment under way.
bool TFprintFPEngX::StopEngine() {
  const bool enrolmentEnded = EndEnrolment();
  FEngineOn = false;
  ++FModeEpoch;
  return enrolmentEnded;
}
