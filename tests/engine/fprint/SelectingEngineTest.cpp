#include "SelectingFPEngX.h"

#include <gmock/gmock.h>

#include <cstdlib>

#include "EngineTestSupport.h"
#include "FakeEngine.h"
#include "FprintFPEngX.h"
#include "SimulatedFPEngX.h"
#include "TemplateTexts.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TReaderFake : public TFakeEngine {
 public:
  int32_t SensorCount() override { return Attached; }
  std::atomic<int32_t> Attached{0};
};

class SelectingEngineTest : public ::testing::Test {
 protected:
  SelectingEngineTest() {
    auto reader = std::make_unique<TReaderFake>();
    auto fallback = std::make_unique<TFakeEngine>();
    Reader = reader.get();
    Fallback = fallback.get();
    Fallback->NextCache = 51;
    Engine = std::make_unique<TSelectingFPEngX>(
        std::move(reader), std::move(fallback),
        [this](bool AReaderPicked) { Choices.push_back(AReaderPicked); });
  }

  TReaderFake* Reader = nullptr;
  TFakeEngine* Fallback = nullptr;
  std::unique_ptr<TSelectingFPEngX> Engine;
  std::vector<bool> Choices;
};

TEST_F(SelectingEngineTest, EachInitPicksTheReaderWhenAttachedAndEndsTheOther) {
  const struct {
    int32_t Attached;
    bool ReaderServes;
  } steps[] = {{0, false}, {1, true}, {1, true}, {0, false}, {2, true}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Attached);
    Reader->Attached = step.Attached;
    Reader->InitResult = 4;
    EXPECT_EQ(Engine->InitEngine(), step.ReaderServes ? 4 : 0);
    TFakeEngine& serving = step.ReaderServes ? static_cast<TFakeEngine&>(*Reader) : *Fallback;
    TFakeEngine& other = step.ReaderServes ? *Fallback : static_cast<TFakeEngine&>(*Reader);
    EXPECT_EQ(&Engine->Current(), &serving);
    EXPECT_THAT(serving.TakeCalls(), ElementsAre("InitEngine"));
    EXPECT_THAT(other.TakeCalls(), ElementsAre("EndEngine"));
    EXPECT_THAT(Choices, ElementsAre(step.ReaderServes));
    Choices.clear();
    Engine->BeginCapture();
    EXPECT_THAT(serving.TakeCalls(), ElementsAre("BeginCapture"));
    EXPECT_THAT(other.TakeCalls(), IsEmpty());
  }
}

TEST_F(SelectingEngineTest, CacheHandlesOutliveASwitchAndReachTheirMaker) {
  const int32_t fallbackCache = Engine->CreateFPCacheDBEx();  // before any init
  Reader->Attached = 1;
  ASSERT_EQ(Engine->InitEngine(), 0);
  const int32_t readerCache = Engine->CreateFPCacheDBEx();
  EXPECT_NE(readerCache, fallbackCache);
  Reader->TakeCalls();
  Fallback->TakeCalls();

  Engine->AddRegTemplateStrToFPCacheDBEx(fallbackCache, 3, u"a", u"b");
  int32_t score = 8, processed = 0;
  Engine->IdentificationInFPCacheDB(fallbackCache, u"p", score, processed);
  Engine->FreeFPCacheDB(fallbackCache);
  EXPECT_THAT(Fallback->TakeCalls(),
              ElementsAre("Add 51 3 a b", "Identify 51 p score-in 8", "FreeFPCacheDB 51"));
  Engine->AddRegTemplateStrToFPCacheDBEx(readerCache, 4, u"c", u"d");
  EXPECT_THAT(Reader->TakeCalls(), ElementsAre("Add 11 4 c d"));

  EXPECT_THROW(Engine->FreeFPCacheDB(fallbackCache), EOleException);
  EXPECT_THROW(Engine->AddRegTemplateStrToFPCacheDBEx(999, 1, u"a", u"b"), EOleException);
}

TEST_F(SelectingEngineTest, EventsAreRaisedAgainWithTheSelectingEngineAsSender) {
  std::vector<TNqFPEngX*> senders;
  Engine->OnFeatureInfo = [&](TNqFPEngX* ASender, int32_t) { senders.push_back(ASender); };
  Engine->OnEnroll = [&](TNqFPEngX* ASender, bool, const OleVariant&) { senders.push_back(ASender); };
  Engine->OnCapture = [&](TNqFPEngX* ASender, bool, const OleVariant&) { senders.push_back(ASender); };
  for (TFakeEngine* inner : {static_cast<TFakeEngine*>(Reader), Fallback}) {
    inner->OnFeatureInfo(inner, 0);
    inner->OnEnroll(inner, true, u"t");
    inner->OnCapture(inner, true, u"t");
  }
  EXPECT_EQ(senders, std::vector<TNqFPEngX*>(6, Engine.get()));
}

// Without FP_VIRTUAL_IMAGE (and without a reader on this machine) the simulated sensor serves.
TEST(SelectingRealEngines, WithoutAReaderTheSimulatedSensorServes) {
  if (std::getenv("FP_VIRTUAL_IMAGE") != nullptr) GTEST_SKIP() << "FP_VIRTUAL_IMAGE is set";
  TLoopMainThreadQueue queue;
  auto reader = std::make_unique<TFprintFPEngX>(queue);
  if (reader->SensorCount() > 0) GTEST_SKIP() << "a fingerprint reader is attached";
  auto simulated = std::make_unique<TSimulatedFPEngX>(queue, std::string());
  TSimulatedFPEngX& sensor = *simulated;
  TSelectingFPEngX engine(std::move(reader), std::move(simulated));
  TEventRecorder events(engine);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(engine.InitEngine(), 0);
    EXPECT_EQ(&engine.Current(), &sensor);
    EXPECT_EQ(engine.SensorSN(), u"TSV-SIM-000001");
    EXPECT_EQ(engine.SensorCount(), 1);
    sensor.Touch(2, 75, false);
    EXPECT_THAT(KindsOf(events.Take()), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  }
}

// Without a reader the simulated sensor's templates are taken; a reader's is named as such.
TEST(SelectingRealEngines, TemplatesAreJudgedByTheEngineInUse) {
  if (std::getenv("FP_VIRTUAL_IMAGE") != nullptr) GTEST_SKIP() << "FP_VIRTUAL_IMAGE is set";
  TLoopMainThreadQueue queue;
  auto reader = std::make_unique<TFprintFPEngX>(queue);
  if (reader->SensorCount() > 0) GTEST_SKIP() << "a fingerprint reader is attached";
  TSelectingFPEngX engine(std::move(reader),
                          std::make_unique<TSimulatedFPEngX>(queue, std::string()));
  ASSERT_EQ(engine.InitEngine(), 0);
  const std::pair<std::u16string, std::u16string> cases[] = {
      {SimulatedTemplateText(), u""},
      {ReaderTemplateText(),
       u"a template of a fingerprint reader, but the simulated sensor is in use"},
      {u"hello", u"not a simulated sensor template"},
      {LastDigitChanged(SimulatedTemplateText()), u"damaged template: checksum mismatch"},
      // Refused by both engines: the one in use gives the reason.
      {LastDigitChanged(ReaderTemplateText()), u"not a simulated sensor template"},
  };
  for (const auto& [text, fault] : cases) EXPECT_EQ(engine.TemplateFault(text), fault);
}

}  // namespace
