#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "BridgeFixture.h"

namespace {

const std::string kStandard =
    R"("state":"L","sensor_count":1,"sensor_index":0,"sensor_SN":"SN-1","mode":"init"})";
const std::string kNothingLoaded =
    R"({"event":"Load Templates","status":"fail","message":"Nothing loaded: \"templates\" must be a non-empty array of template texts","ids":[],"reasons":[],)" +
    kStandard;

struct TLoadCase {
  const char* Name;
  std::string Templates;  // the command's "templates" member, or nothing
  std::string Reply;
  std::vector<std::string> Calls;
};

class LoadTemplatesTest : public BridgeTest, public ::testing::WithParamInterface<TLoadCase> {};

// The fake engine refuses texts beginning with "bad", giving the rest as the reason.
TEST_P(LoadTemplatesTest, EveryClientLearnsTheIdOrTheReasonOfEachText) {
  const TLoadCase& c = GetParam();
  const auto reply = ReplyToEveryClient(R"({"act":"load","state":"L")" + c.Templates + "}");
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, c.Reply);
  EXPECT_EQ(Engine->TakeCalls(), c.Calls);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, LoadTemplatesTest,
    ::testing::Values(
        TLoadCase{
            "AllLoaded",
            R"(,"templates":["t1","t2"])",
            R"({"event":"Load Templates","status":"success","message":"Loaded 2 of 2 templates","ids":[1,2],"reasons":["",""],)" +
                kStandard,
            {"TemplateFault t1", "Add 11 1 t1 t1", "TemplateFault t2", "Add 11 2 t2 t2"}},
        TLoadCase{
            "RefusedTextsGetNoId",
            R"(,"templates":["bad one","t1","bad two"])",
            R"({"event":"Load Templates","status":"fail","message":"Loaded 1 of 3 templates","ids":[-1,1,-1],"reasons":["refused: one","","refused: two"],)" +
                kStandard,
            {"TemplateFault bad one", "TemplateFault t1", "Add 11 1 t1 t1",
             "TemplateFault bad two"}},
        TLoadCase{
            "EntriesThatAreNoText",
            R"(,"templates":[5,null,{"t":"t1"},["t1"],true,"t1"])",
            R"({"event":"Load Templates","status":"fail","message":"Loaded 1 of 6 templates","ids":[-1,-1,-1,-1,-1,1],"reasons":["not a text","not a text","not a text","not a text","not a text",""],)" +
                kStandard,
            {"TemplateFault t1", "Add 11 1 t1 t1"}},
        TLoadCase{"EmptyArray", R"(,"templates":[])", kNothingLoaded, {}},
        TLoadCase{"MemberMissing", "", kNothingLoaded, {}},
        TLoadCase{"AText", R"(,"templates":"t1")", kNothingLoaded, {}},
        TLoadCase{"AnObject", R"(,"templates":{"a":"t1"})", kNothingLoaded, {}},
        TLoadCase{"Null", R"(,"templates":null)", kNothingLoaded, {}},
        TLoadCase{"ANumber", R"(,"templates":7)", kNothingLoaded, {}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Ids continue from enrolments and earlier loads, and after a re-init as well.
TEST_F(BridgeTest, LoadedTemplatesTakeTheNextIdsInTheCurrentCache) {
  auto client = Connect();
  client->SendText(R"({"act":"load","templates":["a","b"]})");
  ASSERT_TRUE(client->ReceiveText());
  client->SendText(R"({"act":"init"})");
  ASSERT_TRUE(client->ReceiveText());
  Engine->TakeCalls();
  client->SendText(R"({"act":"load","templates":["c"]})");
  const auto reply = client->ReceiveText();
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find(R"("ids":[3],)"), std::string::npos) << *reply;
  EXPECT_EQ(Engine->TakeCalls(), (std::vector<std::string>{"TemplateFault c", "Add 12 3 c c"}));
  EXPECT_EQ(Bridge->NextFingerprintId(), 4);
}

// After an init that failed, the engine in use may not be the one whose cache the bridge holds:
// a text that engine takes can still be refused by the cache, and its id is used up.
TEST_F(BridgeTest, ATemplateTheCacheRefusesIsReportedAsNotAdded) {
  Engine->AddResult = -1;
  auto client = Connect();
  client->SendText(R"({"act":"load","state":"L","templates":["t1"]})");
  const auto reply = client->ReceiveText();
  ASSERT_TRUE(reply);
  EXPECT_EQ(
      *reply,
      R"({"event":"Load Templates","status":"fail","message":"Loaded 0 of 1 templates","ids":[-1],"reasons":["not added: the fingerprint cache belongs to the engine used before; send init, then load again"],)" +
          kStandard);
  EXPECT_EQ(Bridge->NextFingerprintId(), 2);
}

TEST_F(BridgeTest, ALoadIsLoggedLikeEveryCommand) {
  auto client = Connect();
  Queue.ProcessPending();
  Log.Lines.clear();
  client->SendText(R"({"act":"load","state":"L","templates":["t1"]})");
  ASSERT_TRUE(client->ReceiveText());
  ASSERT_TRUE(Queue.RunUntil([&] { return Log.Lines.size() >= 3; }));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{R"([] {"act":"load","state":"L","templates":["t1"]})",
                                      "[fingerprint] Load Templates success", "[CLIENT LIST] 1"}));
}

// An enrolment (main thread) that comes while a load (connection thread) is adding a template
// takes the id after it, not the same one. The load's add waits a moment for an add on the main
// thread, which can only come when nothing keeps the two apart.
TEST_F(BridgeTest, AnEnrolmentDuringALoadTakesTheNextId) {
  std::mutex lock;
  std::condition_variable changed;
  bool loadAdding = false;
  int enrolmentAdds = 0;
  const auto mainThread = std::this_thread::get_id();
  Engine->OnAdd = [&] {
    std::unique_lock guard(lock);
    if (std::this_thread::get_id() == mainThread) {
      ++enrolmentAdds;
    } else {
      loadAdding = true;
    }
    changed.notify_all();
    if (std::this_thread::get_id() != mainThread) {
      changed.wait_for(guard, std::chrono::milliseconds(200), [&] { return enrolmentAdds > 0; });
    }
  };
  auto client = Connect();
  client->SendText(R"({"act":"load","templates":["t1"]})");
  {
    std::unique_lock guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(20), [&] { return loadAdding; }));
  }
  Bridge->NqFPEngX1Enroll(nullptr, true, u"");
  for (int frame = 0; frame < 2; ++frame) ASSERT_TRUE(client->ReceiveText());
  std::set<std::string> adds;
  for (const std::string& call : Engine->TakeCalls()) {
    if (call.starts_with("Add ")) adds.insert(call);
  }
  EXPECT_EQ(adds, (std::set<std::string>{"Add 11 1 t1 t1", "Add 11 2 T9 T10"}));
  EXPECT_EQ(Bridge->NextFingerprintId(), 3);
}

}  // namespace
