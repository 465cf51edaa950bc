#include <thread>

#include "BridgeFixture.h"

namespace {

const std::string kStandard = R"("sensor_count":1,"sensor_index":0,"sensor_SN":"SN-1",)";

struct TCommandCase {
  const char* Name;
  std::string Command;
  bool Enrolling;      // the engine reports an enrolment under way before the command
  int32_t InitResult;  // what InitEngine returns
  std::string Reply;
  std::vector<std::string> Calls;
};

class CommandTest : public BridgeTest, public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(CommandTest, ReplyGoesToEveryUpgradedClientAndDrivesTheEngine) {
  const TCommandCase& c = GetParam();
  Engine->Register = c.Enrolling;
  Engine->InitResult = c.InitResult;
  const auto reply = ReplyToEveryClient(c.Command);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, c.Reply);
  EXPECT_EQ(Engine->TakeCalls(), c.Calls);
}

INSTANTIATE_TEST_SUITE_P(
    AllCommands, CommandTest,
    ::testing::Values(
        TCommandCase{
            "InitStarted",
            R"({"act":"init","state":"s1"})",
            false,
            0,
            R"({"event":"Sensor Initialization","status":"success","message":"Sensor connected","state":"s1",)" +
                kStandard + R"("mode":"identify"})",
            // The cache made at start-up (11) is released later, on the main thread.
            {"InitEngine", "FPEngineVersion=10", "CreateFPCacheDBEx"}},
        TCommandCase{
            "InitFailed",
            R"({"act":"init","state":"s1"})",
            false,
            5,
            R"({"event":"Sensor Initialization","status":"fail","message":"Sensor not connected","state":"s1",)" +
                kStandard + R"("mode":"identify"})",
            {"InitEngine", "EndEngine"}},
        TCommandCase{
            "Disconnect",
            R"({"act":"disconnect","state":"s2"})",
            false,
            0,
            R"({"event":"Disconnecting Sensor","status":"success","message":"Sensor disconnected","state":"s2",)" +
                kStandard + R"("mode":"init"})",
            {"EndEngine"}},
        TCommandCase{
            "Enroll",
            R"({"act":"enroll","state":"s3"})",
            false,
            0,
            R"({"event":"Start Enrollment","status":"success","message":"Start enrolling fingerprint by touching the sensor","step_current":0,"step_total":3,"step_remainder":3,"state":"s3",)" +
                kStandard + R"("mode":"enroll"})",
            {"CancelEnroll", "EnrollCount=3", "BeginEnroll"}},
        TCommandCase{
            "CancelWhileEnrolling",
            R"({"act":"cancelenroll","state":"s4"})",
            true,
            0,
            R"({"event":"Enrollment Cancel","status":"success","message":"Enrollment process aborted","state":"s4",)" +
                kStandard + R"("mode":"enrollcancel"})",
            {"CancelEnroll"}},
        TCommandCase{
            "CancelWithoutEnrolment",
            R"({"act":"cancelenroll","state":"s4"})",
            false,
            0,
            R"({"event":"Enrollment Cancel","status":"success","message":"Enrollment process aborted","state":"s4",)" +
                kStandard + R"("mode":"enrollcancel"})",
            {}},
        TCommandCase{
            "Verify",
            R"({"act":"verify","state":"s5"})",
            false,
            0,
            R"({"event":"Verify Mode","status":"success","message":"Switched to Verify(1:1) mode","state":"s5",)" +
                kStandard + R"("mode":"verify"})",
            {"BeginCapture"}},
        TCommandCase{
            "VerifyEndsAnEnrolment",
            R"({"act":"verify","state":"s5"})",
            true,
            0,
            R"({"event":"Verify Mode","status":"success","message":"Switched to Verify(1:1) mode","state":"s5",)" +
                kStandard + R"("mode":"verify"})",
            {"CancelEnroll", "BeginCapture"}},
        TCommandCase{
            "Identify",
            R"({"act":"identify","state":"s6"})",
            true,
            0,
            R"({"event":"Identify Mode","status":"success","message":"Switched to Identify(1:N) mode","state":"s6",)" +
                kStandard + R"("mode":"identify"})",
            {"CancelEnroll", "BeginCapture"}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(BridgeTest, StateIsEchoedAsText) {
  const struct {
    std::string Command;
    std::string State;
  } cases[] = {
      {R"({"act":"verify"})", ""},
      {R"({"act":"verify","state":7})", "7"},
      {R"({"act":"verify","state":true})", "true"},
      {R"({act:verify,state:token})", "token"},
      {R"({"act":"verify","state":"quote \" tab \t é"})", R"(quote \" tab \t é)"},
  };
  auto client = Connect();
  for (const auto& c : cases) {
    client->SendText(c.Command);
    const auto reply = client->ReceiveText();
    ASSERT_TRUE(reply) << c.Command;
    EXPECT_NE(reply->find(R"("state":")" + c.State + R"(",)"), std::string::npos) << *reply;
  }
}

TEST_F(BridgeTest, InputThatIsNoCommandGetsNoReply) {
  const struct {
    std::string Text;
    bool Logged;  // parsed as an object: logged and its state kept
  } cases[] = {
      {"not json", false},
      {"[1,2]", false},
      {"   ", false},
      {R"({"act":"verify",})", false},
      {R"({"act":"Verify","state":"case"})", true},
      {R"({"act":" verify","state":"blank"})", true},
      {R"({"state":"no act"})", true},
      {R"({"act":"Load","state":"case","templates":["t"]})", true},
      {R"({"act":"load ","state":"blank","templates":["t"]})", true},
  };
  auto client = Connect();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    Queue.ProcessPending();
    const size_t linesBefore = Log.Lines.size();
    client->SendText(c.Text);
    // A command after it: its reply must be the next frame, so nothing answered the input.
    client->SendText(R"({"act":"identify","state":"marker"})");
    const auto reply = client->ReceiveText();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->find(R"("state":"marker")"), std::string::npos) << *reply;
    ASSERT_TRUE(Queue.RunUntil([&] { return CountLines("Identify Mode success") > 0; }));
    const auto messages = Messages();
    const bool logged = messages[linesBefore].find(R"({"act":"identify")") == std::string::npos;
    EXPECT_EQ(logged, c.Logged) << messages[linesBefore];
    Log.Lines.clear();
  }
}

TEST_F(BridgeTest, UnreadableStateOrActEndsOnlyTheSendersConnection) {
  const struct {
    std::string Text;
    std::string StateAfter;
  } cases[] = {
      {R"({"act":"verify","state":null})", "before"},
      {R"({"act":"verify","state":{"a":1}})", "before"},
      {R"({"state":"taken","act":[1]})", "taken"},
      {R"({"state":"taken too","act":null})", "taken too"},
  };
  auto bystander = Connect();
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    // A state of its own each round, so the wait below cannot pass on the previous round's.
    const std::string before = "before " + std::to_string(++round);
    {
      auto setter = Connect();
      setter->SendText(R"({"act":"nothing","state":")" + before + R"("})");
      ASSERT_TRUE(WaitFor([&] { return ToUtf8(Bridge->LastState()) == before; }));
    }
    auto sender = Connect();
    sender->SendText(c.Text);
    EXPECT_TRUE(sender->WaitForClose());
    EXPECT_EQ(ToUtf8(Bridge->LastState()), c.StateAfter == "before" ? before : c.StateAfter);
    EXPECT_TRUE(bystander->NothingWithin(std::chrono::milliseconds(20)));
  }
  bystander->SendText(R"({"act":"verify","state":"alive"})");
  EXPECT_TRUE(bystander->ReceiveText());
}

TEST_F(BridgeTest, AFailingEngineCallEndsTheRequestersConnectionWithoutReply) {
  Engine->SetFailOn("BeginCapture");
  auto sender = Connect();
  auto other = Connect();
  sender->SendText(R"({"act":"verify","state":"x"})");
  EXPECT_TRUE(sender->WaitForClose());
  EXPECT_TRUE(other->NothingWithin(std::chrono::milliseconds(50)));
  EXPECT_EQ(Bridge->MatchType(), 0);  // set only after the engine call that failed
}

// A sensor handler on the main thread may still hold the replaced handle: the cache is released
// there, by a procedure queued behind the handlers queued before it, never on the connection.
TEST_F(BridgeTest, ReinitReleasesTheCacheItReplacesOnTheMainThread) {
  auto client = Connect();
  client->SendText(R"({"act":"init"})");
  ASSERT_TRUE(client->ReceiveText());
  client->SendText(R"({"act":"init"})");
  ASSERT_TRUE(client->ReceiveText());
  auto calls = Engine->TakeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "FreeFPCacheDB 11"), 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "FreeFPCacheDB 12"), 0);
  Queue.ProcessPending();
  EXPECT_EQ(Engine->TakeCalls(),
            (std::vector<std::string>{"FreeFPCacheDB 11", "FreeFPCacheDB 12"}));
  EXPECT_EQ(Bridge->CacheHandle(), 13);
}

}  // namespace
