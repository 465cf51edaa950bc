#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ErrorShowingQueue.h"
#include "SimulatedFPEngX.h"

namespace {

// A touch from a sensor thread whose handlers fail: what happened on the main thread, in order.
class HandlerErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Engine.InitEngine(), 0);
    Engine.OnFeatureInfo = [this](TNqFPEngX*, int32_t) { Fail("scan"); };
    Engine.OnCapture = [this](TNqFPEngX*, bool, const OleVariant&) { Fail("capture"); };
    Engine.OnEnroll = [this](TNqFPEngX*, bool, const OleVariant&) { Fail("enrol"); };
  }

  void Fail(const std::string& AEvent) {
    Timeline.push_back(AEvent);
    throw std::runtime_error(AEvent + " failed");
  }

  // Touches from another thread and serves the queue until the touch is done.
  TTouchOutcome TouchFromSensorThread(int32_t AFinger) {
    std::atomic<bool> done = false;
    TTouchOutcome outcome = TTouchOutcome::Superseded;
    std::thread sensor([&] {
      Engine.Touch(AFinger, 80, false, [&](const TTouchResult& AResult) {
        Timeline.push_back("done");
        outcome = AResult.Outcome;
        done = true;
      });
    });
    sensor.join();
    EXPECT_TRUE(Queue.Loop.RunUntil([&] { return done.load(); }));
    return outcome;
  }

  std::vector<std::string> Timeline;  // main thread only
  TErrorShowingQueue Queue{
      [this](const std::string& AError) { Timeline.push_back("shown: " + AError); }};
  TSimulatedFPEngX Engine{Queue, ""};
};

TEST_F(HandlerErrorTest, EveryErrorIsShownBeforeTheEngineGoesOn) {
  EXPECT_EQ(TouchFromSensorThread(1), TTouchOutcome::Captured);
  EXPECT_EQ(Timeline, (std::vector<std::string>{"scan", "shown: scan failed", "capture",
                                                "shown: capture failed", "done"}));
  Timeline.clear();
  Engine.BeginEnroll();
  for (int press = 0; press < 2; ++press) TouchFromSensorThread(2);
  Timeline.clear();
  EXPECT_EQ(TouchFromSensorThread(2), TTouchOutcome::EnrollFinished);
  EXPECT_EQ(Timeline, (std::vector<std::string>{"scan", "shown: scan failed", "enrol",
                                                "shown: enrol failed", "done"}));
}

}  // namespace
