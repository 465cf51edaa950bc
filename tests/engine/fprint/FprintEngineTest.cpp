#include <gmock/gmock.h>

#include <atomic>
#include <optional>
#include <thread>

#include "FingerFeatures.h"
#include "FingerTemplate.h"
#include "ReaderFixture.h"

namespace {

using ::testing::ElementsAre;

TEST_F(ReaderEngineTest, EnrolsFingersAndIdentifiesEachAmongThem) {
  Init();
  Engine.SetFPEngineVersion(u"10");
  const int32_t cache = Engine.CreateFPCacheDBEx();
  for (unsigned finger : {1u, 2u, 3u}) {
    const std::u16string enrolled = Enrol(finger);
    ASSERT_FALSE(enrolled.empty());
    EXPECT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, static_cast<int32_t>(finger * 10),
                                                    Engine.GetTemplateAsStringEx(u"9"), enrolled),
              0);
  }
  Engine.BeginCapture();
  const struct {
    unsigned Finger;
    int32_t Id;
  } probes[] = {{3, 30}, {1, 10}, {2, 20}, {9, -1}};
  for (const auto& probe : probes) {
    SCOPED_TRACE(probe.Finger);
    const auto events = Press(fingers::FingerImpression(probe.Finger, 7));
    ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
    EXPECT_FALSE(events[1].IsRegister);
    int32_t score = 8, processed = 0;
    EXPECT_EQ(Engine.IdentificationInFPCacheDB(cache, events[1].Template, score, processed),
              probe.Id);
    EXPECT_EQ(processed, 3);
    EXPECT_EQ(score >= 10, probe.Id != -1) << score;
  }
}

// An enrolment keeps its presses as samples; a template of one press, as earlier versions
// enrolled, still verifies and identifies the finger.
TEST_F(ReaderEngineTest, SampledAndSinglePressTemplatesMatchTheirFingerOnly) {
  Init();
  Engine.SetFPEngineVersion(u"10");
  const std::u16string sampled = Enrol(5);
  ASSERT_TRUE(sampled.starts_with(u"TSF10S:"));
  EXPECT_TRUE(Engine.GetTemplateAsStringEx(u"9").starts_with(u"TSF9S:"));
  Engine.BeginCapture();
  const auto earlier = Press(fingers::FingerImpression(5, 6));
  ASSERT_EQ(earlier.size(), 2u);
  const std::u16string singlePress = earlier[1].Template;
  ASSERT_TRUE(singlePress.starts_with(u"TSF10:"));
  const int32_t cache = Engine.CreateFPCacheDBEx();
  ASSERT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, 1, sampled, sampled), 0);
  ASSERT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, 2, singlePress, singlePress), 0);
  const struct {
    unsigned Finger;
    bool Matches;
  } probes[] = {{5, true}, {6, false}};
  for (const auto& probe : probes) {
    SCOPED_TRACE(probe.Finger);
    const auto events = Press(fingers::FingerImpression(probe.Finger, 4));
    ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
    EXPECT_EQ(events[1].Template, Engine.GetTemplateAsString());
    for (const std::u16string& enrolled : {sampled, singlePress}) {
      bool changed = true;
      std::u16string reference = enrolled;
      EXPECT_EQ(Engine.VerFingerFromStr(reference, events[1].Template, false, changed),
                probe.Matches);
      EXPECT_FALSE(changed);
      EXPECT_EQ(reference, enrolled);
    }
    int32_t score = 8, processed = 0;
    const int32_t id =
        Engine.IdentificationInFPCacheDB(cache, events[1].Template, score, processed);
    EXPECT_EQ(id != -1, probe.Matches);
    EXPECT_EQ(processed, 2);
  }
}

TEST_F(ReaderEngineTest, SimulatedSensorTemplatesMatchNothing) {
  Init();
  std::u16string enrolled = Enrol(5);
  ASSERT_FALSE(enrolled.empty());
  const std::u16string simulated = EncodeTemplate(SimulatePress(5, 90, 1), TTemplateFormat::V10);
  bool changed = false;
  EXPECT_FALSE(Engine.VerFingerFromStr(enrolled, simulated, false, changed));
  std::u16string simulatedReference = simulated;
  EXPECT_FALSE(Engine.VerFingerFromStr(simulatedReference, enrolled, false, changed));
  const int32_t cache = Engine.CreateFPCacheDBEx();
  EXPECT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, 1, simulated, simulated), -1);
  ASSERT_EQ(Engine.AddRegTemplateStrToFPCacheDBEx(cache, 2, enrolled, enrolled), 0);
  int32_t score = 8, processed = 0;
  EXPECT_EQ(Engine.IdentificationInFPCacheDB(cache, simulated, score, processed), -1);
  EXPECT_EQ(score, 0);
  EXPECT_EQ(processed, 0);
}

struct TEnrolmentCase {
  const char* Name;
  std::vector<TGreyImage> Presses;
  std::vector<int32_t> IndexAtScan;  // EnrollIndex as each OnFeatureInfo sees it
  std::vector<int32_t> Classes;      // OnFeatureInfo's quality class, press by press
  std::optional<bool> Enrolled;      // OnEnroll's result after the last press, if raised
};

void PrintTo(const TEnrolmentCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Name;
}

class ReaderEnrolmentTest : public ReaderEngineTest,
                            public ::testing::WithParamInterface<TEnrolmentCase> {};

TEST_P(ReaderEnrolmentTest, CountsUsablePressesOfOneFinger) {
  const TEnrolmentCase& c = GetParam();
  Init();
  Engine.BeginEnroll();
  std::vector<TRecordedEvent> events;
  for (const auto& image : c.Presses) {
    const auto press = Press(image);
    events.insert(events.end(), press.begin(), press.end());
  }
  std::vector<int32_t> indices;
  std::vector<int32_t> classes;
  std::optional<bool> enrolled;
  for (const auto& event : events) {
    if (event.Kind == TEventKind::FeatureInfo) {
      EXPECT_TRUE(event.IsRegister);
      indices.push_back(event.EnrollIndex);
      classes.push_back(event.QualityClass);
    } else {
      EXPECT_EQ(event.Kind, TEventKind::Enroll);
      enrolled = event.ActionResult;
    }
  }
  EXPECT_EQ(indices, c.IndexAtScan);
  EXPECT_EQ(classes, c.Classes);
  EXPECT_EQ(enrolled, c.Enrolled);
  EXPECT_EQ(Engine.IsRegister(), !c.Enrolled.has_value());
  EXPECT_EQ(Engine.GetTemplateAsStringEx(u"9").empty(), c.Enrolled != true);
}

using fingers::FingerImpression;

INSTANTIATE_TEST_SUITE_P(
    Presses, ReaderEnrolmentTest,
    ::testing::Values(
        TEnrolmentCase{"ThreeImpressions",
                       {FingerImpression(1, 1), FingerImpression(1, 2), FingerImpression(1, 3)},
                       {3, 2, 1},
                       {0, 0, 0},
                       true},
        TEnrolmentCase{"BlankAndNoiseAreReportedNotCounted",
                       {FingerImpression(1, 1), fingers::Blank(), fingers::Noise(3),
                        FingerImpression(1, 2), FingerImpression(1, 3)},
                       {3, 2, 2, 2, 1},
                       {0, 1, 1, 0, 0},
                       true},
        // The first press may be the odd one: one press that matches no counted press is
        // passed over while only one is counted.
        TEnrolmentCase{"OneStrayPressAfterTheFirstIsNotCounted",
                       {FingerImpression(1, 1), FingerImpression(2, 1), FingerImpression(1, 2),
                        FingerImpression(1, 3)},
                       {3, 2, 2, 1},
                       {0, 0, 0, 0},
                       true},
        TEnrolmentCase{"AnotherFingerOnceTwoPressesAgreeFails",
                       {FingerImpression(1, 1), FingerImpression(1, 2), FingerImpression(2, 1)},
                       {3, 2, 1},
                       {0, 0, 0},
                       false},
        TEnrolmentCase{"ASecondStrayPressFails",
                       {FingerImpression(1, 1), FingerImpression(2, 1), FingerImpression(3, 1)},
                       {3, 2, 2},
                       {0, 0, 0},
                       false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(ReaderEngineTest, PressesWhileNotEnrollingAreCaptures) {
  Init();
  // Blank: the reader answers with a retry; the press is poor and carries no template.
  auto events = Press(fingers::Blank());
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  EXPECT_NE(events[0].QualityClass, 0);
  EXPECT_FALSE(events[1].ActionResult);
  EXPECT_TRUE(events[1].Template.empty());
  // The reader asking for the finger again (too short a swipe) is such a press as well.
  events = Scan([&] { Reader.Retry(1); });
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  EXPECT_NE(events[0].QualityClass, 0);
  EXPECT_TRUE(events[1].Template.empty());
  events = Press(fingers::FingerImpression(2, 1));
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  EXPECT_EQ(events[0].QualityClass, 0);
  EXPECT_GT(events[0].LastQuality, 0);
  EXPECT_TRUE(events[1].ActionResult);
  EXPECT_FALSE(events[1].Template.empty());
}

TEST_F(ReaderEngineTest, CancelledEnrolmentGoesBackToCapturing) {
  Init();
  Engine.BeginEnroll();
  auto events = Press(fingers::FingerImpression(1, 1));
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo));
  EXPECT_EQ(Engine.EnrollIndex(), 2);
  Engine.CancelEnroll();
  EXPECT_FALSE(Engine.IsRegister());
  events = Press(fingers::FingerImpression(1, 2));
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  EXPECT_FALSE(events[0].IsRegister);
  EXPECT_TRUE(Engine.GetTemplateAsStringEx(u"10").empty());
}

TEST_F(ReaderEngineTest, EndingClosesTheReaderAndInitOpensItAgain) {
  Init();
  EXPECT_EQ(Engine.SensorCount(), 1);
  EXPECT_EQ(ToNarrow(Engine.SensorSN()), "virtual_image:0");
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Engine.EndEngine();
    // Closed, the virtual reader stops listening: nothing can be pressed.
    TVirtualImageDevice closed(VirtualReaderPath(), std::chrono::milliseconds(200));
    EXPECT_THROW(closed.Press(fingers::FingerImpression(1, 1)), EVirtualImageDevice);
    Init();
    EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(1, 1))),
                ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  }
  // Ended while a finger lies on the reader: the capture in progress is cancelled first.
  Reader.SetFinger(true);
  Engine.EndEngine();
  Init();
}

TEST_F(ReaderEngineTest, UnpluggedDuringACaptureEndsTheEngineAndInitFails) {
  Init();
  Engine.BeginEnroll();
  ASSERT_THAT(KindsOf(Press(fingers::FingerImpression(1, 1))),
              ElementsAre(TEventKind::FeatureInfo));
  Reader.Unplug();
  EXPECT_TRUE(Eventually([&] { return Engine.SensorSN().empty(); }));
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_TRUE(Eventually([&] { return Engine.SensorCount() == 0; }));
  EXPECT_EQ(Engine.InitEngine(), TFprintFPEngX::kInitNoReader);
  EXPECT_FALSE(Engine.LastError().empty());
  Engine.EndEngine();
}

TEST_F(ReaderEngineTest, AnExceptionFromAHandlerReachesTheQueueAfterThePressCompletes) {
  Init();
  Engine.OnFeatureInfo = [](TNqFPEngX*, int32_t) { throw std::runtime_error("handler failed"); };
  std::atomic<bool> captured = false;
  Engine.OnCapture = [&](TNqFPEngX*, bool, const OleVariant&) { captured = true; };
  Reader.Press(fingers::FingerImpression(1, 1));
  bool thrown = false;
  const auto deadline = std::chrono::steady_clock::now() + kEventDeadline;
  while (!thrown && std::chrono::steady_clock::now() < deadline) {
    try {
      Queue.RunUntil([] { return false; }, std::chrono::milliseconds(50));
    } catch (const std::runtime_error& error) {
      thrown = std::string(error.what()) == "handler failed";
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_TRUE(captured);
}

TEST_F(ReaderEngineTest, CommandsFromOtherThreadsDuringPresses) {
  Init();
  std::atomic<bool> stop = false;
  std::thread commands([&] {
    while (!stop) {
      Engine.BeginEnroll();
      static_cast<void>(Engine.EnrollIndex() + Engine.SensorCount() + Engine.LastQuality());
      static_cast<void>(Engine.SensorSN() + Engine.GetTemplateAsString());
      Engine.CancelEnroll();
      Engine.BeginCapture();
    }
  });
  for (unsigned impression = 1; impression <= 4; ++impression) {
    for (const auto& event : Press(fingers::FingerImpression(1, impression))) {
      EXPECT_GE(event.EnrollIndex, 0);
      EXPECT_LE(event.EnrollIndex, 3);
    }
  }
  stop = true;
  commands.join();
}

class ReaderRearmTest : public ReaderEngineTest {
 protected:
  ReaderRearmTest() : ReaderEngineTest(std::chrono::seconds(1)) {}
};

TEST_F(ReaderRearmTest, ACaptureReArmedAfterItsLimitStillTakesPresses) {
  Init();
  // Long enough for a few re-armings.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  // The virtual reader's image arrives with no finger shown before it, so a press that meets a
  // re-arming can be lost (a real reader's finger holds the re-arming off): press again then.
  bool taken = false;
  for (int attempt = 0; attempt < 3 && !taken; ++attempt) {
    Reader.Press(fingers::FingerImpression(1, 1));
    taken = Queue.RunUntil([&] { return !Events.Events().empty(); }, std::chrono::seconds(20));
  }
  EXPECT_TRUE(taken);
}

}  // namespace
