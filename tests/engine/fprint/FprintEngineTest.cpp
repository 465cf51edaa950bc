#include <fprint.h>
#include <gmock/gmock.h>

#include <atomic>
#include <functional>
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
  std::vector<std::function<TGreyImage()>> Presses;  // made when the test runs, not at start-up
  std::vector<int32_t> IndexAtScan;                  // EnrollIndex as each OnFeatureInfo sees it
  std::vector<int32_t> Classes;  // OnFeatureInfo's quality class, press by press
  std::optional<bool> Enrolled;  // OnEnroll's result after the last press, if raised
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
    const auto press = Press(image());
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

// Images are generated when a case runs: generating them while the cases are listed slows every
// listing of the tests down, most of all under the sanitizers.
std::function<TGreyImage()> Impression(unsigned AFinger, unsigned AImpression) {
  return [=] { return fingers::FingerImpression(AFinger, AImpression); };
}

INSTANTIATE_TEST_SUITE_P(
    Presses, ReaderEnrolmentTest,
    ::testing::Values(
        TEnrolmentCase{"ThreeImpressions",
                       {Impression(1, 1), Impression(1, 2), Impression(1, 3)},
                       {3, 2, 1},
                       {0, 0, 0},
                       true},
        TEnrolmentCase{"BlankAndNoiseAreReportedNotCounted",
                       {Impression(1, 1), [] { return fingers::Blank(); },
                        [] { return fingers::Noise(3); }, Impression(1, 2), Impression(1, 3)},
                       {3, 2, 2, 2, 1},
                       {0, 1, 1, 0, 0},
                       true},
        // The first press may be the odd one: one press that matches no counted press is
        // passed over while only one is counted.
        TEnrolmentCase{"OneStrayPressAfterTheFirstIsNotCounted",
                       {Impression(1, 1), Impression(2, 1), Impression(1, 2), Impression(1, 3)},
                       {3, 2, 2, 1},
                       {0, 0, 0, 0},
                       true},
        TEnrolmentCase{"AnotherFingerOnceTwoPressesAgreeFails",
                       {Impression(1, 1), Impression(1, 2), Impression(2, 1)},
                       {3, 2, 1},
                       {0, 0, 0},
                       false},
        TEnrolmentCase{"ASecondStrayPressFails",
                       {Impression(1, 1), Impression(2, 1), Impression(3, 1)},
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

// The main thread busy (a broadcast to a slow client) while a press arrives: an "enroll" that
// comes before the press is handled must not count it.
TEST_F(ReaderEngineTest, APressQueuedBeforeAnEnrolmentIsNotCountedInIt) {
  Init();
  Held.Hold();
  Reader.Press(fingers::FingerImpression(1, 1));
  ASSERT_TRUE(Eventually([&] { return Held.Waiting() == 1; }));
  Engine.BeginEnroll();
  Held.Release();
  // Reported as scanned, neither captured nor counted.
  EXPECT_THAT(KindsOf(Events.Take()), ElementsAre(TEventKind::FeatureInfo));
  EXPECT_EQ(Engine.EnrollIndex(), 3);
  // The enrolment takes three presses of its own.
  for (unsigned impression = 2; impression <= 3; ++impression) {
    EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(1, impression))),
                ElementsAre(TEventKind::FeatureInfo));
  }
  const auto last = Press(fingers::FingerImpression(1, 4));
  ASSERT_THAT(KindsOf(last), ElementsAre(TEventKind::FeatureInfo, TEventKind::Enroll));
  EXPECT_TRUE(last[1].ActionResult);
}

enum class TEnrolmentEnding { AnotherInit, Disconnect, Unplugged };

const char* NameOf(TEnrolmentEnding AEnding) {
  switch (AEnding) {
    case TEnrolmentEnding::AnotherInit:
      return "AnotherInit";
    case TEnrolmentEnding::Disconnect:
      return "Disconnect";
    case TEnrolmentEnding::Unplugged:
      return "Unplugged";
  }
  return "";
}

void PrintTo(TEnrolmentEnding AEnding, std::ostream* AOut) {
  *AOut << NameOf(AEnding);
}

class ReaderEnrolmentEndingTest : public ReaderEngineTest,
                                  public ::testing::WithParamInterface<TEnrolmentEnding> {
 protected:
  // Ends the enrolment under way; whether the reader runs afterwards.
  bool End(TEnrolmentEnding AEnding) {
    switch (AEnding) {
      case TEnrolmentEnding::AnotherInit:
        Init();
        return true;
      case TEnrolmentEnding::Disconnect:
        Engine.EndEngine();
        return false;
      case TEnrolmentEnding::Unplugged:
        Reader.Unplug();
        EXPECT_TRUE(Eventually([&] { return Engine.SensorSN().empty(); }));
        return false;
    }
    return false;
  }
};

// An enrolment that ends without its presses is reported as failed, and a later enrolment
// shows what the reader really waits for.
TEST_P(ReaderEnrolmentEndingTest, IsReportedAsFailedAndALaterEnrolmentShowsTheReader) {
  Init();
  Engine.BeginEnroll();
  ASSERT_THAT(KindsOf(Press(fingers::FingerImpression(1, 1))),
              ElementsAre(TEventKind::FeatureInfo));
  const bool readerRuns = End(GetParam());
  ASSERT_TRUE(Queue.RunUntil([&] { return CountKind(Events.Events(), TEventKind::Enroll) > 0; },
                             kEventDeadline));
  const auto events = Events.Take();
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::Enroll));
  EXPECT_FALSE(events[0].ActionResult);
  EXPECT_TRUE(events[0].Template.empty());
  EXPECT_FALSE(events[0].IsRegister);

  // The reply to "enroll" reads these: a running reader waits for all three presses; with
  // none running, no enrolment is under way and none of its presses is done.
  Engine.CancelEnroll();
  Engine.SetEnrollCount(3);
  Engine.BeginEnroll();
  EXPECT_EQ(Engine.IsRegister(), readerRuns);
  EXPECT_EQ(Engine.EnrollIndex(), 3);
  if (readerRuns) {
    EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(1, 2))),
                ElementsAre(TEventKind::FeatureInfo));
    EXPECT_EQ(Engine.EnrollIndex(), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Endings, ReaderEnrolmentEndingTest,
                         ::testing::Values(TEnrolmentEnding::AnotherInit,
                                           TEnrolmentEnding::Disconnect,
                                           TEnrolmentEnding::Unplugged),
                         [](const auto& AInfo) { return std::string(NameOf(AInfo.param)); });

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

// Runs ACommands over and over on another thread while APresses runs here.
template <class TCommands, class TPresses>
void WhileCommanding(TCommands ACommands, TPresses APresses) {
  std::atomic<bool> stop = false;
  std::thread commands([&] {
    while (!stop) ACommands();
  });
  APresses();
  stop = true;
  commands.join();
}

// Commands from other threads while presses come in: those that leave the mode alone do not
// disturb the enrolment or the captures under way, and after commands that switch modes back
// and forth the engine is in the mode last asked for.
TEST_F(ReaderEngineTest, CommandsFromOtherThreadsDuringPresses) {
  Init();
  const int32_t cache = Engine.CreateFPCacheDBEx();
  const auto reads = [&] {
    static_cast<void>(Engine.EnrollIndex() + Engine.SensorCount() + Engine.LastQuality());
    static_cast<void>(Engine.SensorSN() + Engine.GetTemplateAsString() +
                      Engine.GetTemplateAsStringEx(u"10"));
    int32_t score = 8, processed = 0;
    Engine.IdentificationInFPCacheDB(cache, Engine.GetTemplateAsString(), score, processed);
  };

  Engine.BeginEnroll();
  WhileCommanding(reads, [&] {
    std::vector<int32_t> indices;
    std::vector<TRecordedEvent> events;
    for (unsigned impression = 1; impression <= 3; ++impression) {
      for (const auto& event : Press(fingers::FingerImpression(1, impression))) {
        if (event.Kind == TEventKind::FeatureInfo) indices.push_back(event.EnrollIndex);
        events.push_back(event);
      }
    }
    EXPECT_THAT(indices, ElementsAre(3, 2, 1));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events.back().Kind, TEventKind::Enroll);
    EXPECT_TRUE(events.back().ActionResult);
  });

  // Not enrolling, these leave the captures as they are.
  WhileCommanding(
      [&] {
        reads();
        Engine.CancelEnroll();
        Engine.BeginCapture();
      },
      [&] {
        for (unsigned impression = 4; impression <= 5; ++impression) {
          const auto events = Press(fingers::FingerImpression(1, impression));
          ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
          EXPECT_TRUE(events[1].ActionResult);
          EXPECT_FALSE(events[1].Template.empty());
        }
      });

  WhileCommanding(
      [&] {
        Engine.BeginEnroll();
        reads();
        Engine.CancelEnroll();
        Engine.BeginCapture();
      },
      [&] {
        for (unsigned impression = 1; impression <= 3; ++impression) {
          Press(fingers::FingerImpression(2, impression));
        }
      });
  EXPECT_FALSE(Engine.IsRegister());
  EXPECT_EQ(Engine.EnrollIndex(), 0);
  EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(2, 4))),
              ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  Engine.BeginEnroll();
  EXPECT_EQ(Engine.EnrollIndex(), 3);
  EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(2, 5))),
              ElementsAre(TEventKind::FeatureInfo));
  EXPECT_EQ(Engine.EnrollIndex(), 2);
}

class ReaderRearmTest : public ReaderEngineTest {
 protected:
  // A spell long enough that a press, slow as it may be on a loaded machine, is seldom still
  // under way when it ends (the virtual reader shows no finger that would hold the end off).
  ReaderRearmTest() : ReaderEngineTest({std::chrono::seconds(5), std::chrono::seconds(1)}) {}
};

// After a spell and a rest, the capture armed again reads presses as before, one capture each.
TEST_F(ReaderRearmTest, ACaptureReArmedAfterItsLimitStillTakesPresses) {
  const TGreyImage presses[] = {fingers::FingerImpression(1, 1), fingers::FingerImpression(1, 2)};
  Init();
  // The first spell is over and the rest after it too.
  std::this_thread::sleep_for(std::chrono::milliseconds(6500));
  for (const TGreyImage& press : presses) {
    const auto events = PressUntilRead(press);
    ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
    EXPECT_EQ(events[0].QualityClass, 0);
    EXPECT_TRUE(events[1].ActionResult);
    EXPECT_FALSE(events[1].Template.empty());
  }
}

class ReaderRestTest : public ReaderEngineTest {
 protected:
  ReaderRestTest() : ReaderEngineTest({std::chrono::seconds(1), std::chrono::hours(1)}) {}
};

class ReaderPressSpellTest : public ReaderEngineTest {
 protected:
  ReaderPressSpellTest() : ReaderEngineTest({std::chrono::seconds(8), std::chrono::hours(1)}) {}
};

// A press read starts a new spell: the next press, made after the spell the first came in would
// have ended, is read without a command (an enrolment's presses never meet a rest).
TEST_F(ReaderPressSpellTest, APressReadStartsANewSpell) {
  // Made first: generating an image takes seconds in a sanitized build.
  const TGreyImage first = fingers::FingerImpression(1, 1);
  const TGreyImage second = fingers::FingerImpression(1, 2);
  Init();
  Engine.BeginEnroll();
  std::this_thread::sleep_for(std::chrono::seconds(4));  // half the spell
  EXPECT_THAT(KindsOf(Press(first)), ElementsAre(TEventKind::FeatureInfo));
  // Past the first spell's end, well within the one the press started.
  std::this_thread::sleep_for(std::chrono::milliseconds(5500));
  EXPECT_THAT(KindsOf(Press(second)), ElementsAre(TEventKind::FeatureInfo));
}

// Resting after its spell, the reader is armed again at once by a command that asks for presses:
// the press made during the rest (the virtual reader keeps its image until armed) is read then.
TEST_F(ReaderRestTest, ACommandEndsARest) {
  Init();
  const struct {
    TGreyImage Image;
    std::function<void()> Command;
    std::vector<TEventKind> Events;
  } steps[] = {
      {fingers::FingerImpression(1, 1),
       [&] { Engine.BeginCapture(); },
       {TEventKind::FeatureInfo, TEventKind::Capture}},
      {fingers::FingerImpression(1, 2), [&] { Engine.BeginEnroll(); }, {TEventKind::FeatureInfo}},
  };
  for (const auto& step : steps) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the spell is over
    EXPECT_EQ(KindsOf(ActUntilRead([&] {
                Reader.Press(step.Image);
                step.Command();
              })),
              step.Events);
  }
}

// With no client connected nobody could see a press: the reader is not armed, and heats not.
TEST_F(ReaderEngineTest, WithNoClientConnectedTheReaderIsNotArmed) {
  Init();
  Engine.SetClientCount(0);
  Init();  // the reader has heard it by the time the init is answered
  Reader.Press(fingers::FingerImpression(1, 1));
  EXPECT_FALSE(Queue.RunUntil([&] { return !Events.Events().empty(); }, std::chrono::seconds(3)));
  Engine.SetClientCount(2);
  // The image waiting at the reader is read once it is armed; or the next press.
  const bool taken = Queue.RunUntil([&] { return !Events.Events().empty(); }, kEventDeadline);
  const auto events = taken ? Events.Take() : PressUntilRead(fingers::FingerImpression(1, 1));
  EXPECT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
}

class ReaderHeatTest : public ReaderEngineTest {
 protected:
  ReaderHeatTest()
      : ReaderEngineTest({std::chrono::hours(1), std::chrono::hours(1), std::chrono::seconds(1)}) {
    Engine.OnNotice = [this](TNqFPEngX*, const std::u16string& AText) {
      Notices.push_back(ToNarrow(AText));
    };
  }
  std::vector<std::string> Notices;
};

// libfprint refusing the reader as too hot: the log hears it and for how long, the clients get
// a poor scan (during an enrolment, not counted), and once cool the reader reads presses again.
TEST_F(ReaderHeatTest, ATooHotReaderIsReportedAndArmedAgainOnceCool) {
  Init();
  Engine.BeginEnroll();
  ASSERT_THAT(KindsOf(Press(fingers::FingerImpression(1, 1))),
              ElementsAre(TEventKind::FeatureInfo));
  Reader.Fail(FP_DEVICE_ERROR_TOO_HOT);
  ASSERT_TRUE(Queue.RunUntil([&] { return Notices.size() >= 2; }, kEventDeadline));
  EXPECT_THAT(Notices[0], ::testing::MatchesRegex("reader too hot .*next try in 1 s"));
  EXPECT_THAT(Notices[1], ::testing::HasSubstr("cooled down"));
  const auto hot = Events.Take();
  ASSERT_THAT(KindsOf(hot), ElementsAre(TEventKind::FeatureInfo));
  EXPECT_EQ(hot[0].QualityClass, 1);
  EXPECT_EQ(hot[0].LastQuality, 0);
  EXPECT_TRUE(hot[0].IsRegister);
  EXPECT_EQ(hot[0].EnrollIndex, 2);
  EXPECT_THAT(KindsOf(Press(fingers::FingerImpression(1, 2))),
              ElementsAre(TEventKind::FeatureInfo));
  const auto last = Press(fingers::FingerImpression(1, 3));
  ASSERT_THAT(KindsOf(last), ElementsAre(TEventKind::FeatureInfo, TEventKind::Enroll));
  EXPECT_TRUE(last[1].ActionResult);
}

}  // namespace
