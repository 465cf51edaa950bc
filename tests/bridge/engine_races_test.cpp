#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ErrorShowingQueue.h"
#include "SimulatedFPEngX.h"
#include "load_fixture.h"

namespace {

using namespace std::chrono_literals;

// What the main thread has done with the touches a sensor thread made, shared with the touches'
// completions, which may run after the test has stopped waiting for them.
struct TTouchTally {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TTouchOutcome> Outcomes;

  TSimulatedFPEngX::TTouchDone Completion(const std::shared_ptr<TTouchTally>& ASelf) {
    return [ASelf](const TTouchResult& AResult) {
      {
        std::lock_guard lock(ASelf->Lock);
        ASelf->Outcomes.push_back(AResult.Outcome);
      }
      ASelf->Changed.notify_all();
    };
  }
  bool WaitFor(size_t ACount) {
    std::unique_lock lock(Lock);
    return Changed.wait_for(lock, 20s, [&] { return Outcomes.size() >= ACount; });
  }
  size_t Count(TTouchOutcome AOutcome) {
    std::lock_guard lock(Lock);
    return size_t(std::count(Outcomes.begin(), Outcomes.end(), AOutcome));
  }
};

// The bridge with the simulated engine on a free loopback port. The test's thread is the main
// thread; an error escaping a procedure there is collected where the application shows its
// error box.
class SimulatedSensorBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto engine = std::make_unique<TSimulatedFPEngX>(Queue, "");
    Engine = engine.get();
    Bridge = std::make_unique<TWebSocketServerForm>(Queue, std::move(engine));
    Bridge->edPort = std::u16string(u"0");
    Bridge->FormCreate();
    Bridge->SetMessagesLog(&Log);
    Port = Bridge->Server()->Bindings()[0].Port;
  }
  void TearDown() override {
    if (!Closed) Bridge->FormClose();
    Bridge.reset();
    Queue.Loop.ProcessPending();
  }

  // Touches from a thread of its own, as the control socket does: the touch waits in the queue.
  void QueueTouch(int32_t AFinger) {
    std::thread([&] { Engine->Touch(AFinger, 80, false, Tally->Completion(Tally)); }).join();
  }

  // Serves the queue until APredicate holds; polls, as what it waits for may queue nothing.
  template <class TPred>
  bool PumpUntil(TPred APredicate, std::chrono::seconds ADeadline = 120s) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    while (!APredicate() && std::chrono::steady_clock::now() < end)
      Queue.Loop.RunUntil(APredicate, 5ms);
    return APredicate();
  }

  size_t FingerprintLines() {
    return size_t(std::count_if(Log.Lines.begin(), Log.Lines.end(), [](const std::string& ALine) {
      return ALine.rfind("[fingerprint]", 0) == 0;
    }));
  }

  std::vector<std::string> Errors;  // main thread only
  TErrorShowingQueue Queue{[this](const std::string& AError) { Errors.push_back(AError); }};
  TRecordingLog Log;
  TSimulatedFPEngX* Engine = nullptr;
  std::unique_ptr<TWebSocketServerForm> Bridge;
  uint16_t Port = 0;
  bool Closed = false;
  const std::shared_ptr<TTouchTally> Tally = std::make_shared<TTouchTally>();
};

std::string InitReply(const std::string& AState) {
  std::string reply = R"("message":"Sensor connected",)";
  return reply += StateMember(AState);
}

TEST_F(SimulatedSensorBridgeTest, InitEveryFewMillisecondsWhilePressesArriveLosesNoEvent) {
  constexpr int kInits = 600;
  TWsTestClient observer(Port);
  TWsTestClient commander(Port);
  commander.SendText(Command("init", "first"));
  ASSERT_TRUE(ReceiveFrameWith(commander, InitReply("first")));

  TFailures failures;
  std::atomic<bool> initsDone = false, commanderDone = false, observerDone = false;
  size_t identifyEvents = 0;  // the observer's thread's until it has ended
  // Presses in small bursts, each waited for, so that the queue stays short.
  std::thread toucher([&] {
    constexpr int kBurst = 8;
    for (int i = 0; !initsDone; i += kBurst) {
      for (int k = i; k < i + kBurst; ++k)
        Engine->Touch(1 + k % 3, 60 + k % 40, false, Tally->Completion(Tally));
      if (!Tally->WaitFor(size_t(i + kBurst))) {
        failures.Add("touches from " + std::to_string(i) + " not processed");
        break;
      }
    }
  });
  std::thread initiator([&] {
    for (int n = 0; n < kInits; ++n) {
      const std::string state = "init-" + std::to_string(n);
      commander.SendText(Command("init", state));
      if (!ReceiveFrameWith(commander, InitReply(state))) {
        failures.Add("no reply to " + state);
        break;
      }
      std::this_thread::sleep_for(3ms);
    }
    initsDone = true;
    toucher.join();
    commander.SendText(Command("init", "last"));
    if (!ReceiveFrameWith(commander, InitReply("last"))) failures.Add("no reply to last");
    commanderDone = true;
  });
  std::thread reader([&] {
    // Every sensor event was broadcast before the last init's reply.
    const auto last = ReceiveFrameWith(
        observer, InitReply("last"),
        [&](const std::string& AFrame) {
          if (AFrame.find(R"("event":"Identify")") != std::string::npos) ++identifyEvents;
        },
        180s);
    if (!last) failures.Add("the observer missed the last reply");
    observerDone = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return commanderDone && observerDone; }, 240s));
  initiator.join();
  reader.join();

  const auto seenFailures = failures.Take();
  EXPECT_TRUE(seenFailures.empty()) << Joined(seenFailures);
  EXPECT_TRUE(Errors.empty()) << Joined(Errors);
  // Every capture the engine completed reached the clients.
  const size_t captured = Tally->Count(TTouchOutcome::Captured);
  EXPECT_EQ(identifyEvents, captured);
  EXPECT_GT(captured, 0u);
}

TEST_F(SimulatedSensorBridgeTest, PressesHandledAfterClosingBeganAreNeitherReportedNorRaised) {
  TWsTestClient client(Port);
  client.SendText(Command("init", "s"));
  ASSERT_TRUE(ReceiveFrameWith(client, InitReply("s")));
  client.SendText(Command("enroll", "e"));
  ASSERT_TRUE(ReceiveReplyTo(client, "e"));
  for (int press = 1; press <= 2; ++press) {
    QueueTouch(4);
    ASSERT_TRUE(PumpUntil(
        [&] { return Tally->Count(TTouchOutcome::EnrollPressCounted) == size_t(press); }));
  }
  // The last press of the enrolment and a capture wait in the queue while the window closes.
  QueueTouch(4);
  QueueTouch(4);
  const size_t linesBefore = FingerprintLines();
  Bridge->FormClose();
  Closed = true;
  Queue.Loop.ProcessPending();

  EXPECT_EQ(Tally->Count(TTouchOutcome::EnrollFinished), 1u);
  EXPECT_EQ(Tally->Count(TTouchOutcome::Captured), 1u);
  EXPECT_TRUE(Errors.empty()) << Joined(Errors);
  EXPECT_EQ(FingerprintLines(), linesBefore);
}

}  // namespace
