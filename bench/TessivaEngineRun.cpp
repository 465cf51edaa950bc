#include "TessivaEngineRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <span>
#include <stdexcept>

namespace {

using TClock = std::chrono::steady_clock;
// Far beyond one press (a few hundred ms); only a lost press takes this long.
constexpr std::chrono::seconds kPressLimit{60};

class TEngineDriver {
 public:
  TEngineDriver(TNqFPEngX& AEngine, TLoopMainThreadQueue& AQueue,
                const std::function<void(const TGreyImage&)>& APress)
      : FEngine(AEngine), FQueue(AQueue), FPress(APress) {
    FEngine.OnFeatureInfo = [this](TNqFPEngX*, int32_t AQuality) {
      ++FPresses;
      if (AQuality != kGoodPress) ++FPoorPresses;
    };
    FEngine.OnEnroll = [this](TNqFPEngX*, bool AResult, const OleVariant& ATemplate) {
      Finish(AResult, ATemplate);
    };
    FEngine.OnCapture = [this](TNqFPEngX*, bool AResult, const OleVariant& ATemplate) {
      Finish(AResult, ATemplate);
    };
  }
  ~TEngineDriver() {
    FEngine.OnFeatureInfo = nullptr;
    FEngine.OnEnroll = nullptr;
    FEngine.OnCapture = nullptr;
  }
  TEngineDriver(const TEngineDriver&) = delete;
  TEngineDriver& operator=(const TEngineDriver&) = delete;

  TTessivaEnrolment Enrol(int ACountedPresses, std::span<const TGreyImage* const> APresses) {
    FEngine.SetEnrollCount(ACountedPresses);
    FEngine.BeginEnroll();
    FDone = false;
    TTessivaEnrolment enrolment;
    for (const TGreyImage* image : APresses) {
      if (FDone) break;
      PressAndWait(*image);
      ++enrolment.Presses;
    }
    // Poor presses are not counted: the enrolment then waits for presses we do not make.
    if (!FDone) FEngine.CancelEnroll();
    if (FDone) enrolment.Template = FTemplate;
    return enrolment;
  }

  TTessivaTemplate Capture(const TGreyImage& AImage, std::vector<double>& AMilliseconds) {
    FEngine.BeginCapture();
    FDone = false;
    const TClock::time_point start = PressAndWait(AImage);
    if (!FDone)
      throw std::runtime_error("the engine rated a capture press without raising OnCapture");
    AMilliseconds.push_back(std::chrono::duration<double, std::milli>(FEventTime - start).count());
    return FTemplate;
  }

  int Presses() const { return FPresses; }
  int PoorPresses() const { return FPoorPresses; }

 private:
  void Finish(bool AResult, const OleVariant& ATemplate) {
    FEventTime = TClock::now();
    FDone = true;
    FTemplate = {};
    if (AResult) FTemplate = {ATemplate, DecodeTemplateSamples(ATemplate)};
  }

  // Waits until the engine has rated the press.
  TClock::time_point PressAndWait(const TGreyImage& AImage) {
    const int before = FPresses;
    const TClock::time_point start = TClock::now();
    FPress(AImage);
    if (!FQueue.RunUntil([&] { return FPresses > before; }, kPressLimit)) {
      throw std::runtime_error("the engine did not report a press in time");
    }
    return start;
  }

  static constexpr int32_t kGoodPress = 0;

  TNqFPEngX& FEngine;
  TLoopMainThreadQueue& FQueue;
  const std::function<void(const TGreyImage&)>& FPress;
  int FPresses = 0;
  int FPoorPresses = 0;
  bool FDone = false;
  TClock::time_point FEventTime;
  TTessivaTemplate FTemplate;
};

}  // namespace

void RunTessivaEngine(TNqFPEngX& AEngine, TLoopMainThreadQueue& AQueue,
                      const TImpressionSet& AImpressions, int AFirstFinger, int AEndFinger,
                      const TTessivaProtocol& AProtocol,
                      const std::function<void(const TGreyImage&)>& APress,
                      TTessivaTemplates& ATemplates) {
  TEngineDriver driver(AEngine, AQueue, APress);
  for (int finger = AFirstFinger; finger < AEndFinger; ++finger) {
    std::vector<const TGreyImage*> presses;
    const int offered = std::min(AProtocol.MostEnrolPresses, AImpressions.Impressions());
    for (int i = 0; i < offered; ++i) presses.push_back(&AImpressions.Image(finger, i));
    const TTessivaEnrolment& enrolment =
        ATemplates.Enrolments.emplace_back(driver.Enrol(AProtocol.EnrolPresses, presses));
    ATemplates.Enrolled.push_back(enrolment.Presses <= AProtocol.EnrolPresses ? enrolment.Template
                                                                              : TTessivaTemplate{});
    auto& probes = ATemplates.Probes.emplace_back();
    for (int i = AProtocol.EnrolPresses; i < AImpressions.Impressions(); ++i) {
      probes.push_back(
          driver.Capture(AImpressions.Image(finger, i), ATemplates.CaptureToEventMilliseconds));
    }
  }
  ATemplates.Presses += driver.Presses();
  ATemplates.PoorPresses += driver.PoorPresses();
  std::fprintf(stderr, "tessiva: %d fingers enrolled and probed\n", AEndFinger);
}
