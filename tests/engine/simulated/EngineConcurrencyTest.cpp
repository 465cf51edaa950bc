#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "MainThreadQueue.h"
#include "SimulatedFPEngX.h"

namespace {

// Handlers that use the engine the way the bridge's do: read properties while a scan is
// reported, take the enrolled templates into a cache, and match every capture.
struct TBridgeLikeHandlers {
  explicit TBridgeLikeHandlers(TSimulatedFPEngX& AEngine) : Cache(AEngine.CreateFPCacheDBEx()) {
    AEngine.OnFeatureInfo = [this](TNqFPEngX* ASender, int32_t) {
      if (ASender->IsRegister()) {
        StepSum += ASender->EnrollCount() - ASender->EnrollIndex() + 1;
      }
      static_cast<void>(ASender->LastQuality());
      ++Scans;
    };
    AEngine.OnEnroll = [this](TNqFPEngX* ASender, bool AResult, const OleVariant&) {
      if (AResult) {
        ASender->AddRegTemplateStrToFPCacheDBEx(Cache, ++NextId,
                                                ASender->GetTemplateAsStringEx(u"9"),
                                                ASender->GetTemplateAsStringEx(u"10"));
      }
      ++Enrolments;
    };
    AEngine.OnCapture = [this](TNqFPEngX* ASender, bool, const OleVariant& ATemplate) {
      std::u16string reference = ASender->GetTemplateAsStringEx(u"10");
      bool changed = false;
      ASender->VerFingerFromStr(reference, ASender->GetTemplateAsString(), false, changed);
      int32_t score = 8;
      int32_t processed = 0;
      ASender->IdentificationInFPCacheDB(Cache, ATemplate, score, processed);
      ++Captures;
    };
  }

  const int32_t Cache;
  int32_t NextId = 0;  // main thread only
  std::atomic<int> Scans = 0;
  std::atomic<int> Enrolments = 0;
  std::atomic<int> Captures = 0;
  std::atomic<int> StepSum = 0;
};

TEST(EngineConcurrencyTest, CommandsFromSeveralThreadsWhileEventsAreDelivered) {
  TLoopMainThreadQueue queue;
  TSimulatedFPEngX engine(queue, "");
  TBridgeLikeHandlers handlers(engine);
  ASSERT_EQ(engine.InitEngine(), 0);
  engine.SetFPEngineVersion(u"10");

  constexpr int kTouches = 120;
  std::atomic<int> completed = 0;
  std::atomic<int> eventful = 0;
  std::thread toucher([&] {
    for (int i = 0; i < kTouches; ++i) {
      engine.Touch(1 + i % 3, 40 + i % 60, i % 17 == 0, [&](const TTouchResult& r) {
        if (r.Outcome != TTouchOutcome::IgnoredEngineOff) ++eventful;
        ++completed;
      });
    }
  });

  std::atomic<bool> stop = false;
  std::vector<std::thread> commanders;
  for (int t = 0; t < 3; ++t) {
    commanders.emplace_back([&, t] {
      const std::u16string sample = u"NQ10:0a5000000a";
      for (int i = 0; !stop; ++i) {
        switch ((i + t) % 6) {
          case 0:
            engine.CancelEnroll();
            engine.SetEnrollCount(3);
            engine.BeginEnroll();
            break;
          case 1:
            if (engine.IsRegister()) engine.CancelEnroll();
            engine.BeginCapture();
            break;
          case 2: {
            const int32_t cache = engine.CreateFPCacheDB();
            engine.AddRegTemplateStrToFPCacheDBEx(cache, 1, u"", engine.GetTemplateAsString());
            int32_t score = 8;
            int32_t processed = 0;
            engine.IdentificationInFPCacheDB(cache, engine.GetTemplateAsString(), score, processed);
            engine.FreeFPCacheDB(cache);
            break;
          }
          case 3: {
            std::u16string reference = sample;
            bool changed = false;
            engine.VerFingerFromStr(reference, engine.GetTemplateAsStringEx(u"10"), false, changed);
            break;
          }
          case 4:
            static_cast<void>(engine.EnrollIndex() + engine.EnrollCount() + engine.LastQuality() +
                              engine.SensorCount() + engine.SensorIndex());
            static_cast<void>(engine.SensorSN() + engine.FPEngineVersion());
            break;
          default:
            if (t == 0 && i % 60 == 5) {
              engine.EndEngine();
              static_cast<void>(engine.InitEngine());
            }
            static_cast<void>(engine.Status());
        }
      }
    });
  }

  const bool allDone = queue.RunUntil([&] { return completed == kTouches; });
  stop = true;
  for (auto& thread : commanders) thread.join();
  toucher.join();
  ASSERT_TRUE(allDone);
  // Every touch that reached a running engine reported its scan, once.
  EXPECT_EQ(handlers.Scans.load(), eventful.load());
  EXPECT_LE(handlers.Captures + handlers.Enrolments, handlers.Scans.load());
}

// A procedure that waits in a queue nobody empties any more must not reach a dead engine.
class THeldQueue : public IMainThreadQueue {
 public:
  void Queue(std::function<void()> AProc) override { FHeld.push_back(std::move(AProc)); }
  void RunHeld() {
    for (auto& proc : std::exchange(FHeld, {})) proc();
  }

 private:
  std::vector<std::function<void()>> FHeld;
};

TEST(EngineConcurrencyTest, TouchQueuedBeforeDestructionIsDroppedSafely) {
  THeldQueue queue;
  int events = 0;
  std::optional<TTouchResult> result;
  {
    TSimulatedFPEngX engine(queue, "");
    engine.OnFeatureInfo = [&](TNqFPEngX*, int32_t) { ++events; };
    ASSERT_EQ(engine.InitEngine(), 0);
    engine.Touch(1, 80, false, [&](const TTouchResult& r) { result = r; });
  }
  queue.RunHeld();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->Outcome, TTouchOutcome::Superseded);
  EXPECT_EQ(events, 0);
}

TEST(EngineConcurrencyTest, HandlerMayDestroyTheEngine) {
  TLoopMainThreadQueue queue;
  auto engine = std::make_unique<TSimulatedFPEngX>(queue, "");
  bool captured = false;
  engine->OnFeatureInfo = [&](TNqFPEngX*, int32_t) { engine.reset(); };
  engine->OnCapture = [&](TNqFPEngX*, bool, const OleVariant&) { captured = true; };
  ASSERT_EQ(engine->InitEngine(), 0);
  std::optional<TTouchResult> result;
  engine->Touch(1, 80, false, [&](const TTouchResult& r) { result = r; });
  EXPECT_EQ(engine, nullptr);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->Outcome, TTouchOutcome::Superseded);
  EXPECT_FALSE(captured);
}

}  // namespace
