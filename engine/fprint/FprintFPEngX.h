#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EngineLifeGate.h"
#include "EnrolmentPresses.h"
#include "FingerprintCacheSet.h"
#include "MainThreadQueue.h"
#include "MinutiaeTemplate.h"
#include "MinutiaeTemplateCodec.h"
#include "NqFPEngXControl_TLB.h"
#include "PressAnalysis.h"
#include "ReaderScan.h"

class TFprintReader;
class TGLibLoopThread;

// A fingerprint engine over libfprint's image readers: the first reader that captures images
// is opened by InitEngine and armed for presses until EndEngine or until it is unplugged.
//
// Threads: libfprint runs on the process's GLib loop thread (TGLibLoopThread); methods called
// on other threads hand it their work and wait for it, never for the main thread. Each press is
// rated on the loop thread and processed on the main thread, where the events are raised, as
// the simulated engine does. The state lives under one lock never held while a handler runs.
class TFprintFPEngX final : public TNqFPEngX {
 public:
  static constexpr int32_t kInitNoReader = -1;
  static constexpr int32_t kInitFailed = -2;
  static constexpr int32_t kMaxEnrollCount = 10;
  // Some readers heat while armed; a capture armed this long without a press is re-armed.
  static constexpr std::chrono::seconds kArmedLimit{180};

  // Creates libfprint's context and enumerates the readers; FP_VIRTUAL_IMAGE must be set (or
  // not) before.
  explicit TFprintFPEngX(IMainThreadQueue& AQueue, std::chrono::seconds AArmedLimit = kArmedLimit);
  ~TFprintFPEngX() override;
  TFprintFPEngX(const TFprintFPEngX&) = delete;
  TFprintFPEngX& operator=(const TFprintFPEngX&) = delete;

  int32_t InitEngine() override;
  void EndEngine() override;
  void BeginEnroll() override;
  void CancelEnroll() override;
  void BeginCapture() override;
  int32_t CreateFPCacheDB() override;
  int32_t CreateFPCacheDBEx() override;
  void FreeFPCacheDB(int32_t fpcHandle) override;
  int32_t AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                         const std::u16string& ARegTemplateStr,
                                         const std::u16string& ARegTemplate10Str) override;
  std::u16string GetTemplateAsString() override;
  std::u16string GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) override;
  bool VerFingerFromStr(std::u16string& regTemplateStr, const std::u16string& verTemplateStr,
                        bool ADoLearning, bool& ARegFeatureChanged) override;
  int32_t IdentificationInFPCacheDB(int32_t fpcHandle, const OleVariant& pVerTemplate,
                                    int32_t& Score, int32_t& ProcessedFPNumber) override;

  bool IsRegister() override;
  int32_t EnrollCount() override;
  void SetEnrollCount(int32_t AValue) override;
  int32_t EnrollIndex() override;
  int32_t LastQuality() override;
  // Readers attached that capture images.
  int32_t SensorCount() override;
  int32_t SensorIndex() override;
  // The reader last opened, as driver:device-id; empty once it is unplugged.
  std::u16string SensorSN() override;
  std::u16string FPEngineVersion() override;
  void SetFPEngineVersion(const std::u16string& AValue) override;
  std::u16string LastError() override;
  std::u16string TemplateFault(const std::u16string& ATemplate) override;

 private:
  enum class TEventKind { None, Enroll, Capture };
  struct TPendingEvent {
    TEventKind Kind = TEventKind::None;
    bool ActionResult = false;
    OleVariant Template;
  };

  void ScanArrived(TReaderScan AScan);
  void ProcessPress(const TAnalysedPress& APress, TEngineLifeGate& AGate,
                    std::exception_ptr& AHandlerError);
  TPendingEvent AdvanceEnrolment(const TAnalysedPress& APress);
  void RaiseEvent(const TPendingEvent& AEvent, std::exception_ptr& AHandlerError);
  void CloseReader(std::chrono::milliseconds ATimeout);
  void EndEnrolment();
  void StopEngine();

  IMainThreadQueue& FQueue;
  const std::shared_ptr<TEngineLifeGate> FGate = std::make_shared<TEngineLifeGate>();
  // Serialises opening and closing, so that an init and an end do not interleave.
  std::mutex FSwitchLock;
  std::atomic<int32_t> FReaderCount = 0;

  std::mutex FLock;
  int32_t FEnrollCount = 3;
  bool FEngineOn = false;
  bool FEnrolling = false;
  int32_t FEnrollIndex = 0;
  // Counts changes of mode, so that a press spanning one drops its second half.
  uint64_t FModeEpoch = 0;
  int32_t FLastQuality = 0;
  std::optional<TMinutiaeTemplate> FLastPress;
  TEnrolmentPresses FEnrolment{0, 0};
  // The counted presses of the last finished enrolment, kept as its samples.
  std::vector<TMinutiaeTemplate> FEnrolled;
  int FFormat = 9;
  std::u16string FSensorSN;
  std::u16string FLastError;
  TFingerprintCacheSet<TPreparedSamples, TMinutiaeTemplateCodec> FCaches;

  // Loop thread only.
  std::shared_ptr<TFprintReader> FReader;
  // Shared with any other user in the process; held by pointer so that users of the engine do
  // not see GLib.
  const std::shared_ptr<TGLibLoopThread> FLoop;
};
