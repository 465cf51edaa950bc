#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>

#include "EngineTestSupport.h"
#include "MainThreadQueue.h"
#include "SimulatedFPEngX.h"

namespace {

constexpr auto FeatureEvent = TEventKind::FeatureInfo;
constexpr auto EnrollEvent = TEventKind::Enroll;
constexpr auto CaptureEvent = TEventKind::Capture;

// An engine without control socket; the test thread is the main thread, so a touch from the
// test runs at once and its events have been raised when Touch returns.
class SimulatedEngineTest : public ::testing::Test {
 protected:
  TTouchResult Press(int32_t AFinger, int32_t AQuality = 80, bool ASuspicious = false) {
    std::optional<TTouchResult> result;
    Engine.Touch(AFinger, AQuality, ASuspicious, [&](const TTouchResult& r) { result = r; });
    EXPECT_TRUE(result) << "touch not processed at once on the main thread";
    return result.value_or(TTouchResult{});
  }

  void StartEngine() { ASSERT_EQ(Engine.InitEngine(), 0); }

  // Enrols AFinger with three good presses and returns the format-"10" template.
  std::u16string Enrol(int32_t AFinger) {
    Engine.CancelEnroll();
    Engine.SetEnrollCount(3);
    Engine.BeginEnroll();
    for (int i = 0; i < 3; ++i) Press(AFinger, 75 + 5 * i);
    return Engine.GetTemplateAsStringEx(u"10");
  }

  // The template OnCapture delivers for one press of AFinger.
  std::u16string CaptureOf(int32_t AFinger) {
    Recorder.Take();
    EXPECT_EQ(Press(AFinger).Outcome, TTouchOutcome::Captured);
    const auto events = Recorder.Take();
    EXPECT_EQ(KindsOf(events), (std::vector{FeatureEvent, CaptureEvent}));
    return events.empty() ? u"" : events.back().Template;
  }

  TLoopMainThreadQueue Queue;
  TSimulatedFPEngX Engine{Queue, ""};
  TEventRecorder Recorder{Engine};
};

TEST_F(SimulatedEngineTest, StartsWithStoredSettingsAndAttachedSensor) {
  const TFPEngXSettings settings = Engine.Settings();
  EXPECT_EQ(settings.EnrollCount, 3);
  EXPECT_EQ(settings.SensorIndex, 0);
  EXPECT_EQ(settings.Threshold, 10);
  EXPECT_EQ(settings.OneToOneThreshold, 10);
  EXPECT_FALSE(settings.ForceSecondMatch);
  EXPECT_FALSE(settings.AutoIdentify);
  EXPECT_FALSE(settings.IsImageChange);
  EXPECT_EQ(Engine.SensorCount(), 1);
  EXPECT_EQ(Engine.SensorIndex(), 0);
  EXPECT_FALSE(Engine.SensorSN().empty());
  EXPECT_EQ(Engine.FPEngineVersion(), u"9");
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_THROW(Engine.SetEnrollCount(0), EOleException);
  EXPECT_THROW(Engine.SetFPEngineVersion(u"11"), EOleException);
  EXPECT_THROW(Engine.GetTemplateAsStringEx(u"8"), EOleException);
}

TEST_F(SimulatedEngineTest, TouchesCountOnlyWhileTheEngineRuns) {
  EXPECT_EQ(Press(1).Outcome, TTouchOutcome::IgnoredEngineOff);
  StartEngine();
  EXPECT_EQ(Press(1, 64).Outcome, TTouchOutcome::Captured);
  Engine.EndEngine();
  EXPECT_EQ(Press(1).Outcome, TTouchOutcome::IgnoredEngineOff);

  const auto events = Recorder.Events();
  ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent, CaptureEvent}));
  EXPECT_EQ(events[0].QualityClass, kQualityClassGood);
  EXPECT_EQ(events[0].LastQuality, 64);
  EXPECT_TRUE(events[1].ActionResult);
  EXPECT_FALSE(events[1].Template.empty());
}

// While a reader serves in its place a touch says so; the sensor's own init clears nothing
// about that, the one who picks the engine does.
TEST_F(SimulatedEngineTest, ATouchWhileAReaderServesSaysSo) {
  Engine.SetReaderInUse(true);
  EXPECT_EQ(Press(1).Outcome, TTouchOutcome::IgnoredReaderInUse);
  Engine.SetReaderInUse(false);
  EXPECT_EQ(Press(1).Outcome, TTouchOutcome::IgnoredEngineOff);
  StartEngine();
  Engine.SetReaderInUse(true);
  EXPECT_EQ(Press(1).Outcome, TTouchOutcome::Captured);
  EXPECT_EQ(KindsOf(Recorder.Events()), (std::vector{FeatureEvent, CaptureEvent}));
}

TEST_F(SimulatedEngineTest, UnpluggedSensorCannotStart) {
  StartEngine();
  const std::u16string serial = Engine.SensorSN();
  Engine.Plug(false);
  EXPECT_EQ(Engine.SensorCount(), 0);
  EXPECT_EQ(Engine.SensorSN(), u"");
  EXPECT_NE(Engine.InitEngine(), 0);
  EXPECT_EQ(Press(2).Outcome, TTouchOutcome::IgnoredUnplugged);
  EXPECT_TRUE(Recorder.Events().empty());

  Engine.Plug(true);
  EXPECT_EQ(Engine.SensorCount(), 1);
  EXPECT_EQ(Engine.SensorSN(), serial);
  EXPECT_EQ(Press(2).Outcome, TTouchOutcome::IgnoredEngineOff);
  StartEngine();
  EXPECT_EQ(Press(2).Outcome, TTouchOutcome::Captured);
}

TEST_F(SimulatedEngineTest, EnrolmentCountsPressesDownWhileRegistering) {
  StartEngine();
  Engine.SetEnrollCount(3);
  Engine.BeginEnroll();
  EXPECT_TRUE(Engine.IsRegister());
  EXPECT_EQ(Engine.EnrollIndex(), 3);

  EXPECT_EQ(Press(4, 70).Outcome, TTouchOutcome::EnrollPressCounted);
  EXPECT_EQ(Press(4, 80).Outcome, TTouchOutcome::EnrollPressCounted);
  EXPECT_EQ(Press(4, 90).Outcome, TTouchOutcome::EnrollFinished);

  const auto events = Recorder.Events();
  ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent, FeatureEvent, FeatureEvent, EnrollEvent}));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(events[i].IsRegister);
    EXPECT_EQ(events[i].EnrollIndex, 3 - i);
    EXPECT_EQ(events[i].EnrollCount, 3);
    EXPECT_EQ(events[i].LastQuality, 70 + 10 * i);
    EXPECT_EQ(events[i].QualityClass, kQualityClassGood);
  }
  EXPECT_TRUE(events[3].ActionResult);
  EXPECT_FALSE(events[3].IsRegister);
  EXPECT_EQ(events[3].Template, Engine.GetTemplateAsStringEx(u"9"));

  const std::u16string template9 = Engine.GetTemplateAsStringEx(u"9");
  const std::u16string template10 = Engine.GetTemplateAsStringEx(u"10");
  EXPECT_TRUE(template9.starts_with(u"NQ9:"));
  EXPECT_TRUE(template10.starts_with(u"NQ10:"));
  bool changed = true;
  std::u16string reference = template9;
  EXPECT_TRUE(Engine.VerFingerFromStr(reference, template10, false, changed));

  // Back to capturing once the enrolment is over.
  Recorder.Take();
  EXPECT_EQ(Press(4).Outcome, TTouchOutcome::Captured);
}

TEST_F(SimulatedEngineTest, PoorAndSuspiciousPressesAreReportedButNotCounted) {
  struct TCase {
    int32_t Quality;
    bool Suspicious;
    int32_t ExpectedClass;
  };
  for (const TCase& c : {TCase{49, false, kQualityClassPoor}, TCase{0, false, kQualityClassPoor},
                         TCase{95, true, kQualityClassSuspicious}}) {
    SCOPED_TRACE(c.Quality);
    StartEngine();
    Engine.BeginEnroll();
    Press(6);
    Recorder.Take();
    const TTouchResult result = Press(6, c.Quality, c.Suspicious);
    EXPECT_EQ(result.Outcome, TTouchOutcome::EnrollPressNotCounted);
    EXPECT_EQ(result.EnrollDue, 2);
    EXPECT_EQ(Engine.EnrollIndex(), 2);
    const auto events = Recorder.Take();
    ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent}));
    EXPECT_EQ(events[0].QualityClass, c.ExpectedClass);
    EXPECT_EQ(events[0].LastQuality, c.Quality);
    EXPECT_EQ(events[0].EnrollIndex, 2);

    Press(6);
    EXPECT_EQ(Press(6).Outcome, TTouchOutcome::EnrollFinished);
  }
}

TEST_F(SimulatedEngineTest, DifferentFingersInOneEnrolmentFail) {
  StartEngine();
  Enrol(1);
  Engine.BeginEnroll();
  EXPECT_EQ(Engine.GetTemplateAsStringEx(u"10"), u"");
  Press(2);
  Recorder.Take();
  EXPECT_EQ(Press(3).Outcome, TTouchOutcome::EnrollFailed);

  const auto events = Recorder.Take();
  ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent, EnrollEvent}));
  EXPECT_TRUE(events[0].IsRegister);
  EXPECT_EQ(events[0].EnrollIndex, 2);
  EXPECT_FALSE(events[1].ActionResult);
  EXPECT_EQ(events[1].Template, u"");
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_EQ(Engine.GetTemplateAsStringEx(u"9"), u"");
  EXPECT_EQ(Engine.GetTemplateAsStringEx(u"10"), u"");
}

TEST_F(SimulatedEngineTest, CancelEndsEnrolmentWithoutEvent) {
  StartEngine();
  Engine.BeginEnroll();
  Press(5);
  Engine.CancelEnroll();
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_EQ(Engine.EnrollIndex(), 0);
  EXPECT_EQ(Engine.GetTemplateAsStringEx(u"10"), u"");
  EXPECT_EQ(KindsOf(Recorder.Take()), (std::vector{FeatureEvent}));

  EXPECT_EQ(Press(5).Outcome, TTouchOutcome::Captured);
  // BeginCapture ends an enrolment the same way.
  Engine.BeginEnroll();
  Engine.BeginCapture();
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_EQ(Press(5).Outcome, TTouchOutcome::Captured);
}

TEST_F(SimulatedEngineTest, VerifyMatchesTheSameFingerOnly) {
  StartEngine();
  Engine.SetFPEngineVersion(u"10");
  const std::u16string enrolled = Enrol(7);
  ASSERT_FALSE(enrolled.empty());

  const std::u16string same = CaptureOf(7);
  EXPECT_TRUE(same.starts_with(u"NQ10:"));
  EXPECT_EQ(same, Engine.GetTemplateAsString());
  const std::u16string other = CaptureOf(8);

  std::u16string reference = enrolled;
  bool changed = true;
  EXPECT_TRUE(Engine.VerFingerFromStr(reference, same, false, changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(reference, enrolled);
  EXPECT_FALSE(Engine.VerFingerFromStr(reference, other, false, changed));

  std::u16string format9 = Engine.GetTemplateAsStringEx(u"9");
  EXPECT_TRUE(Engine.VerFingerFromStr(format9, same, false, changed));

  for (const std::u16string& broken :
       {std::u16string(), std::u16string(u"NQ10:zz"), std::u16string(u"garbage")}) {
    std::u16string empty;
    EXPECT_FALSE(Engine.VerFingerFromStr(reference, broken, false, changed));
    EXPECT_FALSE(Engine.VerFingerFromStr(empty, same, false, changed));
  }
}

TEST_F(SimulatedEngineTest, CaptureTemplateFollowsEngineVersion) {
  StartEngine();
  EXPECT_EQ(Engine.GetTemplateAsString(), u"");
  EXPECT_TRUE(CaptureOf(3).starts_with(u"NQ9:"));
  EXPECT_TRUE(Engine.GetTemplateAsString().starts_with(u"NQ9:"));
  Engine.SetFPEngineVersion(u"10");
  EXPECT_EQ(Engine.FPEngineVersion(), u"10");
  EXPECT_TRUE(Engine.GetTemplateAsString().starts_with(u"NQ10:"));

  // A poor capture still delivers its template, flagged as not good.
  Recorder.Take();
  Press(3, 20);
  const auto events = Recorder.Take();
  ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent, CaptureEvent}));
  EXPECT_EQ(events[0].QualityClass, kQualityClassPoor);
  EXPECT_FALSE(events[1].ActionResult);
  EXPECT_TRUE(events[1].Template.starts_with(u"NQ10:"));
}

TEST_F(SimulatedEngineTest, IdentifyFindsTheRightIdAmongSeveral) {
  StartEngine();
  Engine.SetFPEngineVersion(u"10");
  const int32_t cache = Engine.CreateFPCacheDBEx();
  for (int32_t id = 1; id <= 4; ++id) {
    const std::u16string template10 = Enrol(10 + id);
    EXPECT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, id, Engine.GetTemplateAsStringEx(u"9"),
                                                    template10),
              0);
  }

  int32_t score = 8;
  int32_t processed = -7;
  EXPECT_EQ(Engine.IdentificationInFPCacheDB(cache, CaptureOf(13), score, processed), 3);
  EXPECT_GE(score, 10);
  EXPECT_EQ(processed, 4);

  score = 8;
  EXPECT_EQ(Engine.IdentificationInFPCacheDB(cache, CaptureOf(99), score, processed), -1);
  EXPECT_LT(score, 10);
  EXPECT_EQ(processed, 4);

  EXPECT_EQ(Engine.IdentificationInFPCacheDB(cache, u"NQ10:", score, processed), -1);
  EXPECT_EQ(processed, 0);

  const int32_t empty = Engine.CreateFPCacheDB();
  EXPECT_EQ(Engine.IdentificationInFPCacheDB(empty, CaptureOf(13), score, processed), -1);
  EXPECT_EQ(processed, 0);
}

TEST_F(SimulatedEngineTest, CacheHandlesAreDistinctAndCheckedOnUse) {
  const int32_t first = Engine.CreateFPCacheDB();
  const int32_t second = Engine.CreateFPCacheDBEx();
  EXPECT_GT(first, 0);
  EXPECT_GT(second, 0);
  EXPECT_NE(first, second);
  EXPECT_NE(Engine.AddRegTemplateStrToFPCacheDBEx(first, 1, u"", u"not a template"), 0);

  Engine.FreeFPCacheDB(first);
  int32_t score = 0;
  int32_t processed = 0;
  for (const int32_t handle : {first, 0, -1, 12345}) {
    SCOPED_TRACE(handle);
    EXPECT_THROW(Engine.FreeFPCacheDB(handle), EOleException);
    EXPECT_THROW(Engine.AddRegTemplateStrToFPCacheDBEx(handle, 1, u"", u""), EOleException);
    EXPECT_THROW(Engine.IdentificationInFPCacheDB(handle, u"", score, processed), EOleException);
  }
  EXPECT_NE(Engine.CreateFPCacheDB(), first);
}

TEST_F(SimulatedEngineTest, UnassignedEventsAreSkipped) {
  TSimulatedFPEngX bare(Queue, "");
  ASSERT_EQ(bare.InitEngine(), 0);
  bare.BeginEnroll();
  std::vector<TTouchOutcome> outcomes;
  for (int i = 0; i < 3; ++i) {
    bare.Touch(9, 80, false, [&](const TTouchResult& r) { outcomes.push_back(r.Outcome); });
  }
  EXPECT_EQ(outcomes.back(), TTouchOutcome::EnrollFinished);
  EXPECT_FALSE(bare.GetTemplateAsStringEx(u"10").empty());
}

// The main thread's caller stands where the error display would: the error reaches it at once.
TEST_F(SimulatedEngineTest, OnTheMainThreadAHandlerErrorGoesToTheCallerAndEndsTheTouch) {
  StartEngine();
  Engine.BeginEnroll();
  Press(2);
  Press(2);
  Engine.OnFeatureInfo = [](TNqFPEngX*, int32_t) { throw std::runtime_error("handler failed"); };
  std::optional<TTouchResult> result;
  EXPECT_THROW(Engine.Touch(2, 80, false, [&](const TTouchResult& r) { result = r; }),
               std::runtime_error);
  EXPECT_FALSE(result);
  EXPECT_EQ(KindsOf(Recorder.Take()), (std::vector{FeatureEvent, FeatureEvent}));
  EXPECT_EQ(Engine.EnrollIndex(), 1);
}

TEST_F(SimulatedEngineTest, TouchFromAnotherThreadIsDeliveredOnTheMainThread) {
  StartEngine();
  std::atomic<bool> done = false;
  std::thread toucher(
      [&] { Engine.Touch(3, 80, false, [&](const TTouchResult&) { done = true; }); });
  toucher.join();
  EXPECT_FALSE(done);  // queued: nothing runs until the main thread empties its queue
  ASSERT_TRUE(Queue.RunUntil([&] { return done.load(); }));
  const auto events = Recorder.Events();
  ASSERT_EQ(KindsOf(events), (std::vector{FeatureEvent, CaptureEvent}));
  for (const auto& e : events) EXPECT_EQ(e.Thread, std::this_thread::get_id());
}

}  // namespace
