#include "TessivaEngineRun.h"

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
    FEngine.OnFeatureInfo = [this](TNqFPEngX*, int32_t) { ++FPresses; };
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

  TTessivaTemplate Enrol(std::span<const TGreyImage* const> APresses) {
    FEngine.SetEnrollCount(static_cast<int32_t>(APresses.size()));
    FEngine.BeginEnroll();
    FDone = false;
    for (const TGreyImage* image : APresses) {
      if (FDone) break;
      PressAndWait(*image);
    }
    // A poor press is not counted: the enrolment then waits for presses we do not make.
    if (!FDone) FEngine.CancelEnroll();
    return FDone ? FTemplate : TTessivaTemplate{};
  }

  TTessivaTemplate Capture(const TGreyImage& AImage, std::vector<double>& AMilliseconds) {
    FEngine.BeginCapture();
    FDone = false;
    const TClock::time_point start = PressAndWait(AImage);
    if (!FDone) throw std::runtime_error("the engine rated a capture press without raising OnCapture");
    AMilliseconds.push_back(std::chrono::duration<double, std::milli>(FEventTime - start).count());
    return FTemplate;
  }

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

  TNqFPEngX& FEngine;
  TLoopMainThreadQueue& FQueue;
  const std::function<void(const TGreyImage&)>& FPress;
  int FPresses = 0;
  bool FDone = false;
  TClock::time_point FEventTime;
  TTessivaTemplate FTemplate;
};

}  // namespace

void RunTessivaEngine(TNqFPEngX& AEngine, TLoopMainThreadQueue& AQueue, const TImpressionSet& AImpressions,
                      int AFirstFinger, int AEndFinger, int AEnrolPresses,
                      const std::function<void(const TGreyImage&)>& APress, TTessivaTemplates& ATemplates) {
  TEngineDriver driver(AEngine, AQueue, APress);
  for (int finger = AFirstFinger; finger < AEndFinger; ++finger) {
    std::vector<const TGreyImage*> presses;
    for (int i = 0; i < AEnrolPresses; ++i) presses.push_back(&AImpressions.Image(finger, i));
    ATemplates.Enrolled.push_back(driver.Enrol(presses));
    auto& probes = ATemplates.Probes.emplace_back();
    for (int i = AEnrolPresses; i < AImpressions.Impressions(); ++i) {
      probes.push_back(driver.Capture(AImpressions.Image(finger, i), ATemplates.CaptureToEventMilliseconds));
    }
  }
  std::fprintf(stderr, "tessiva: %d fingers enrolled and probed\n", AEndFinger);
}
