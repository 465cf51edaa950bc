// The selecting engine over the real engines, with this process's virtual reader attached.
#include <gmock/gmock.h>

#include "ReaderFixture.h"
#include "SelectingFPEngX.h"
#include "SimulatedFPEngX.h"
#include "TemplateTexts.h"

namespace {

using ::testing::ElementsAre;

class SelectingReaderTest : public ::testing::Test {
 protected:
  SelectingReaderTest() {
    auto reader = std::make_unique<TFprintFPEngX>(Queue);
    auto simulated = std::make_unique<TSimulatedFPEngX>(Queue, std::string());
    Reader = reader.get();
    Simulated = simulated.get();
    Engine = std::make_unique<TSelectingFPEngX>(std::move(reader), std::move(simulated));
    Events = std::make_unique<TEventRecorder>(*Engine);
  }

  std::vector<TRecordedEvent> WaitForEvents(size_t ACount) {
    EXPECT_TRUE(Queue.RunUntil([&] { return Events->Events().size() >= ACount; }, kEventDeadline));
    return Events->Take();
  }

  TLoopMainThreadQueue Queue;
  TFprintFPEngX* Reader = nullptr;
  TSimulatedFPEngX* Simulated = nullptr;
  std::unique_ptr<TSelectingFPEngX> Engine;
  std::unique_ptr<TEventRecorder> Events;
  TVirtualImageDevice Device{VirtualReaderPath()};
};

TEST_F(SelectingReaderTest, TheAttachedReaderServesUntilUnpluggedThenTheSimulatedSensor) {
  ASSERT_EQ(Engine->InitEngine(), 0);
  EXPECT_EQ(&Engine->Current(), Reader);
  EXPECT_EQ(Engine->SensorSN(), u"virtual_image:0");
  const int32_t readerCache = Engine->CreateFPCacheDBEx();

  // Events come from the selecting engine, whichever engine raised them.
  Device.Press(fingers::FingerImpression(1, 1));
  auto events = WaitForEvents(2);
  ASSERT_THAT(KindsOf(events), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));
  const std::u16string readerProbe = events[1].Template;
  EXPECT_EQ(Engine->AddRegTemplateStrToFPCacheDBEx(readerCache, 7, readerProbe, readerProbe), 0);

  Device.Unplug();
  ASSERT_TRUE(Eventually([&] { return Engine->SensorCount() == 0; }));
  ASSERT_EQ(Engine->InitEngine(), 0);
  EXPECT_EQ(&Engine->Current(), Simulated);
  EXPECT_EQ(Engine->SensorSN(), u"TSV-SIM-000001");
  Simulated->Touch(3, 80, false);
  EXPECT_THAT(KindsOf(WaitForEvents(2)), ElementsAre(TEventKind::FeatureInfo, TEventKind::Capture));

  // The cache made while the reader served still answers, from the reader's engine.
  int32_t score = 8, processed = 0;
  EXPECT_EQ(Engine->IdentificationInFPCacheDB(readerCache, readerProbe, score, processed), 7);
  EXPECT_EQ(processed, 1);
  Engine->FreeFPCacheDB(readerCache);
  EXPECT_THROW(Reader->FreeFPCacheDB(1), EOleException) << "the reader's own cache was freed";
}

// With the reader in use, its templates are taken; the simulated sensor's are named as such.
TEST_F(SelectingReaderTest, TemplatesAreJudgedByTheEngineInUse) {
  ASSERT_EQ(Engine->InitEngine(), 0);
  ASSERT_EQ(&Engine->Current(), Reader);
  const std::pair<std::u16string, std::u16string> cases[] = {
      {ReaderTemplateText(), u""},
      {SimulatedTemplateText(),
       u"a template of the simulated sensor, but a fingerprint reader is in use"},
      {u"hello", u"not a fingerprint reader template"},
      {LastDigitChanged(ReaderTemplateText()), u"damaged template: checksum mismatch"},
  };
  for (const auto& [text, fault] : cases) EXPECT_EQ(Engine->TemplateFault(text), fault);
}

}  // namespace
