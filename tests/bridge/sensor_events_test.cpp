#include "BridgeFixture.h"

namespace {

const std::string kStandard = R"("sensor_count":1,"sensor_index":0,"sensor_SN":"SN-1",)";

class SensorEventTest : public BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    Client = Connect();
  }
  // The frame the client receives for an event raised now on the main thread.
  std::string Next() {
    const auto text = Client->ReceiveText();
    return text ? *text : "<nothing>";
  }
  void Command(const std::string& AAct, const std::string& AState) {
    Client->SendText(R"({"act":")" + AAct + R"(","state":")" + AState + R"("})");
    ASSERT_TRUE(Client->ReceiveText());
    Engine->TakeCalls();
  }
  std::unique_ptr<TWsTestClient> Client;
};

TEST_F(SensorEventTest, VerifyComparesTheCaptureWithTheLastEnrolledTemplate) {
  Engine->OnEnroll(Engine, true, u"ignored");
  ASSERT_NE(Next(), "<nothing>");
  Command("verify", "v1");
  Engine->VerifyResult = true;
  Engine->OnCapture(Engine, false, u"not looked at");
  EXPECT_EQ(Next(),
            R"({"event":"Verify","status":"success","message":"Verify Succeed","state":"v1",)" +
                kStandard + R"("mode":"verify"})");
  EXPECT_EQ(Engine->TakeCalls(),
            (std::vector<std::string>{"GetTemplateAsString", "VerFingerFromStr T10 CAP"}));
  // Whatever the engine wrote into its copy, the reference stays.
  EXPECT_EQ(Bridge->RegTemplate10(), u"T10");
  Engine->VerifyResult = false;
  Engine->OnCapture(Engine, true, u"");
  EXPECT_EQ(Next(), R"({"event":"Verify","status":"fail","message":"Verify Failed","state":"v1",)" +
                        kStandard + R"("mode":"verify"})");
}

TEST_F(SensorEventTest, IdentifyReportsIdScoreAndProcessedNumber) {
  Command("identify", "i1");
  Engine->IdentifyId = 3;
  Engine->IdentifyScore = 56;
  Engine->IdentifyProcessed = 4;
  Engine->OnCapture(Engine, true, u"PROBE");
  EXPECT_EQ(
      Next(),
      R"({"event":"Identify","status":"success","message":"Identify Succeed ID = 3 Score = 56  Processed Number = 4","state":"i1","id":3,"score":56,"processnum":4,)" +
          kStandard + R"("mode":"identify"})");
  EXPECT_EQ(Engine->TakeCalls(), (std::vector<std::string>{"Identify 11 PROBE score-in 8"}));
  Engine->IdentifyId = -1;
  Engine->IdentifyScore = 4;
  Engine->IdentifyProcessed = 2;
  Engine->OnCapture(Engine, true, u"PROBE");
  EXPECT_EQ(
      Next(),
      R"({"event":"Identify","status":"fail","message":"Identify Failed","state":"i1","id":-1,"score":4,"processnum":2,)" +
          kStandard + R"("mode":"identify"})");
}

TEST_F(SensorEventTest, CaptureBeforeAnyModeIsAnEmptyVerify) {
  Engine->OnCapture(Engine, true, u"x");
  EXPECT_EQ(Next(), R"({"event":"Verify","status":"","message":"","state":"",)" + kStandard +
                        R"("mode":"init"})");
  EXPECT_TRUE(Engine->TakeCalls().empty());
}

TEST_F(SensorEventTest, EnrolmentsAreCachedUnderConsecutiveIds) {
  Command("enroll", "e1");
  Engine->Register = false;
  Engine->OnEnroll(Engine, true, u"");
  EXPECT_EQ(
      Next(),
      R"({"event":"Enrollment Finish","status":"success","message":"Fingerprint enrollment successful","state":"e1","template":"T10",)" +
          kStandard + R"("mode":"enrollfinish"})");
  Engine->Template9 = u"U9";
  Engine->Template10 = u"U10";
  Engine->OnEnroll(Engine, true, u"");
  Next();
  auto calls = Engine->TakeCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "Add 11 1 T9 T10"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "Add 11 2 U9 U10"), calls.end());
  // A new cache after init: the ids go on.
  Command("init", "e2");
  Engine->OnEnroll(Engine, true, u"");
  Next();
  calls = Engine->TakeCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "Add 12 3 U9 U10"), calls.end());
}

TEST_F(SensorEventTest, FailedEnrolmentsKeepOrConsumeIdsAsTheyShould) {
  Engine->OnEnroll(Engine, true, u"");
  Next();
  EXPECT_EQ(Bridge->NextFingerprintId(), 2);
  // A failure reported by the engine: the earlier template is still sent and kept.
  Engine->OnEnroll(Engine, false, u"");
  EXPECT_EQ(
      Next(),
      R"({"event":"Enrollment Finish","status":"fail","message":"Fingerprint enrollment failed","state":"","template":"T10",)" +
          kStandard + R"("mode":"enrollfinish"})");
  EXPECT_EQ(Bridge->NextFingerprintId(), 2);
  // No format-"9" template: "template" is empty and the id is not used.
  Engine->Template9 = u"";
  Engine->OnEnroll(Engine, true, u"");
  EXPECT_EQ(
      Next(),
      R"({"event":"Enrollment Finish","status":"fail","message":"Fingerprint enrollment failed, template length is zero","state":"","template":"",)" +
          kStandard + R"("mode":"enrollfinish"})");
  EXPECT_EQ(Bridge->NextFingerprintId(), 2);
  // No format-"10" template: fails too, but consumes an id.
  Engine->Template9 = u"W9";
  Engine->Template10 = u"";
  Engine->OnEnroll(Engine, true, u"");
  EXPECT_EQ(
      Next(),
      R"({"event":"Enrollment Finish","status":"fail","message":"Enrollment 10.0 failed, template length is zero","state":"","template":"",)" +
          kStandard + R"("mode":"enrollfinish"})");
  EXPECT_EQ(Bridge->NextFingerprintId(), 3);
  const auto calls = Engine->TakeCalls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.rfind("Add", 0) == 0; }),
            1);
}

TEST_F(SensorEventTest, ScanMessagesAndEnrolmentSteps) {
  const struct {
    bool Enrolling;
    int32_t Index;
    int32_t Quality;
    int32_t QualityClass;
    std::string Expected;
  } cases[] = {
      {false, 0, 72, 0,
       R"({"event":"Finger Scan Info","status":"success","message":" Fingerprint quality good, quality=72","quality":72,"state":"",)" +
           kStandard + R"("mode":"init"})"},
      {false, 0, 20, 7,
       R"({"event":"Finger Scan Info","status":"success","message":" Fingerprint quality not good, quality=20","quality":20,"state":"",)" +
           kStandard + R"("mode":"init"})"},
      {true, 3, 31, 1,
       R"({"event":"Finger Scan Info","status":"success","message":"Register status: press finger 2 more time(s) Fingerprint quality not good, quality=31","quality":31,"state":"","step_current":1,"step_total":2,"step_remainder":3,)" +
           kStandard + R"("mode":"enroll"})"},
      {true, 2, 90, -1,
       R"({"event":"Finger Scan Info","status":"success","message":"Register status: press finger 1 more time(s) Fingerprint quality not good, Suspicious fingerprints, quality=90","quality":90,"state":"","step_current":2,"step_total":2,"step_remainder":2,)" +
           kStandard + R"("mode":"enroll"})"},
      {true, 1, 80, 0,
       R"({"event":"Finger Scan Info","status":"success","message":"Registration finished Fingerprint quality good, quality=80","quality":80,"state":"","step_current":3,"step_total":2,"step_remainder":1,)" +
           kStandard + R"("mode":"enroll"})"},
  };
  for (const auto& c : cases) {
    Engine->Register = c.Enrolling;
    Engine->Count = 3;
    Engine->Index = c.Index;
    Engine->Quality = c.Quality;
    Engine->OnFeatureInfo(Engine, c.QualityClass);
    EXPECT_EQ(Next(), c.Expected);
  }
}

TEST_F(SensorEventTest, EventsEchoTheLastStateOfAnyClient) {
  auto other = Connect();
  other->SendText(R"({"act":"unknown","state":"from the other client"})");
  ASSERT_TRUE(WaitFor([&] { return Bridge->LastState() == u"from the other client"; }));
  Engine->OnFeatureInfo(Engine, 0);
  EXPECT_NE(Next().find(R"("state":"from the other client")"), std::string::npos);
}

}  // namespace
