#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EngineLifeGate.h"
#include "FingerFeatures.h"
#include "FingerMatcher.h"
#include "FingerTemplate.h"
#include "FingerprintCacheSet.h"
#include "MainThreadQueue.h"
#include "NqFPEngXControl_TLB.h"
#include "SensorSocketPath.h"
#include "SimulatedSensorState.h"

class TSensorControlServer;

// The settings the control is stored with.
struct TFPEngXSettings {
  int32_t EnrollCount = 3;
  int32_t SensorIndex = 0;
  int32_t Threshold = 10;
  int32_t OneToOneThreshold = 10;
  bool ForceSecondMatch = false;
  bool AutoIdentify = false;
  bool IsImageChange = false;
};

// A fingerprint engine with a simulated sensor, for use without hardware. Touches come from
// Touch() or from the control socket (SensorControlServer.h); each is processed on the main
// thread, where the events are raised. All methods may be called from any thread; the state
// lives under one lock that is never held while an event handler runs.
class TSimulatedFPEngX final : public TNqFPEngX {
 public:
  static constexpr int32_t kInitSensorNotConnected = -1;
  static constexpr int32_t kMaxEnrollCount = 10;

  using TTouchDone = std::function<void(const TTouchResult&)>;

  // An empty AControlSocketPath runs without control socket. Raises EOleException when the
  // socket cannot be set up, for example while another live engine listens on that path.
  explicit TSimulatedFPEngX(IMainThreadQueue& AQueue,
                            std::string AControlSocketPath = DefaultSensorSocketPath());
  ~TSimulatedFPEngX() override;
  TSimulatedFPEngX(const TSimulatedFPEngX&) = delete;
  TSimulatedFPEngX& operator=(const TSimulatedFPEngX&) = delete;

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
  int32_t SensorCount() override;
  int32_t SensorIndex() override;
  std::u16string SensorSN() override;
  std::u16string FPEngineVersion() override;
  void SetFPEngineVersion(const std::u16string& AValue) override;
  std::u16string TemplateFault(const std::u16string& ATemplate) override;

  // A finger (a positive number) touches the sensor with image quality AQuality (0..100).
  // The touch is processed on the main thread: at once when called there, else queued. ADone,
  // if given, is called on the main thread once the touch's events have been raised. Each event
  // is raised by a main-thread procedure of its own, so an exception escaping its handler
  // leaves that procedure for the main-thread queue's error display before the touch goes on.
  // Called on the main thread, such an exception goes to the caller and ends the touch.
  void Touch(int32_t AFinger, int32_t AQuality, bool ASuspicious, TTouchDone ADone = {});
  // Attaches or detaches the sensor. Detaching ends the engine, as EndEngine does.
  void Plug(bool APlugged);
  // Whether a reader serves in this engine's place, so that a touch can say why it is ignored.
  void SetReaderInUse(bool AInUse);
  TSensorStatus Status();
  TFPEngXSettings Settings();

 private:
  enum class TEventKind { None, Enroll, Capture };
  struct TPendingEvent {
    TEventKind Kind = TEventKind::None;
    bool ActionResult = false;
    OleVariant Template;
  };

  struct TTouch;

  void ScanStep(TTouch& ATouch);
  void ClosingStep(TTouch& ATouch);
  TPendingEvent AdvanceEnrolment(int32_t AQualityClass, TTouchResult& AResult);
  void RaiseEvent(const TPendingEvent& AEvent);
  void EndEnrolment();
  void StopEngine();

  IMainThreadQueue& FQueue;
  const std::shared_ptr<TEngineLifeGate> FGate = std::make_shared<TEngineLifeGate>();

  std::mutex FLock;
  TFPEngXSettings FSettings;
  bool FPlugged = true;
  bool FEngineOn = false;
  bool FReaderInUse = false;
  bool FEnrolling = false;
  int32_t FEnrollIndex = 0;
  // Counts changes of mode, so that a touch spanning one drops its second half.
  uint64_t FModeEpoch = 0;
  uint64_t FPressSerial = 0;
  int32_t FLastQuality = 0;
  std::optional<TFeatureSet> FLastImage;
  std::vector<TFeatureSet> FEnrolmentPresses;
  std::optional<TFeatureSet> FEnrolled;
  TTemplateFormat FFormat = TTemplateFormat::V9;
  struct TSimulatedTemplateCodec {
    static std::optional<TFeatureSet> Decode(std::u16string_view AText) { return DecodeTemplate(AText); }
    static int32_t Score(const TFeatureSet& AEnrolled, const TFeatureSet& AProbe) {
      return MatchScore(AEnrolled, AProbe);
    }
  };
  TFingerprintCacheSet<TFeatureSet, TSimulatedTemplateCodec> FCaches;

  // Last member: stopped first, before the state its commands use goes away.
  std::unique_ptr<TSensorControlServer> FControlServer;
};
