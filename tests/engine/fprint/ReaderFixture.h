#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "EngineTestSupport.h"
#include "FingerImages.h"
#include "FprintFPEngX.h"
#include "MainThreadQueue.h"
#include "VirtualImageDevice.h"

// Deadlines for what the reader does: generous, as libfprint works on a loaded machine too.
constexpr std::chrono::seconds kEventDeadline{60};

inline std::string VirtualReaderPath() { return std::getenv("FP_VIRTUAL_IMAGE"); }

inline size_t CountKind(const std::vector<TRecordedEvent>& AEvents, TEventKind AKind) {
  size_t count = 0;
  for (const auto& event : AEvents) count += event.Kind == AKind ? 1 : 0;
  return count;
}

// Waits, with no main-thread queue to serve, until the engine's state shows APredicate.
template <class TPredicate>
bool Eventually(TPredicate APredicate) {
  const auto deadline = std::chrono::steady_clock::now() + kEventDeadline;
  while (!APredicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Passes procedures on to the main-thread queue, or, while held, keeps them back as a main
// thread busy elsewhere would.
class THoldableQueue : public IMainThreadQueue {
 public:
  explicit THoldableQueue(IMainThreadQueue& ATarget) : FTarget(ATarget) {}

  void Queue(std::function<void()> AProc) override {
    {
      std::lock_guard lock(FLock);
      if (FHeld) {
        FWaiting.push_back(std::move(AProc));
        return;
      }
    }
    FTarget.Queue(std::move(AProc));
  }

  void Hold() {
    std::lock_guard lock(FLock);
    FHeld = true;
  }
  size_t Waiting() {
    std::lock_guard lock(FLock);
    return FWaiting.size();
  }
  // Passes on what waits, in order, and stops holding.
  void Release() {
    std::vector<std::function<void()>> waiting;
    {
      std::lock_guard lock(FLock);
      FHeld = false;
      waiting.swap(FWaiting);
    }
    for (auto& proc : waiting) FTarget.Queue(std::move(proc));
  }

 private:
  IMainThreadQueue& FTarget;
  std::mutex FLock;
  bool FHeld = false;
  std::vector<std::function<void()>> FWaiting;
};

// The reader engine on this process's virtual reader, with its events recorded on this (the
// main) thread.
class ReaderEngineTest : public ::testing::Test {
 protected:
  explicit ReaderEngineTest(TArmingTimes ATimes = {}) : Engine(Held, ATimes), Events(Engine) {}

  void Init() { ASSERT_EQ(Engine.InitEngine(), 0) << ToNarrow(Engine.LastError()); }

  // Does AAct on the reader (a press, a retry) and returns the events the scan raised:
  // OnFeatureInfo, then the closing event if any (raised in the same main-thread procedure).
  template <class TAct>
  std::vector<TRecordedEvent> Scan(TAct AAct) {
    const size_t before = CountKind(Events.Events(), TEventKind::FeatureInfo);
    AAct();
    EXPECT_TRUE(Queue.RunUntil(
        [&] { return CountKind(Events.Events(), TEventKind::FeatureInfo) > before; },
        kEventDeadline))
        << "no event for the scan";
    return Events.Take();
  }

  std::vector<TRecordedEvent> Press(const TGreyImage& AImage) {
    return Scan([&] { Reader.Press(AImage); });
  }

  // Does AAct (a press, a press and a command) until a scan is read, at most three times: the
  // virtual reader's image arrives with no finger shown before it, so one that meets the end of
  // a spell can be lost (a real reader's finger holds the end off). Returns the events the first
  // scan read raised, should a later try be read as well.
  template <class TAct>
  std::vector<TRecordedEvent> ActUntilRead(TAct AAct) {
    bool taken = false;
    for (int attempt = 0; attempt < 3 && !taken; ++attempt) {
      AAct();
      taken = Queue.RunUntil([&] { return !Events.Events().empty(); }, kEventDeadline);
    }
    EXPECT_TRUE(taken) << "no press read";
    std::vector<TRecordedEvent> events = Events.Take();
    const auto next = std::find_if(events.begin() + (events.empty() ? 0 : 1), events.end(),
                                   [](const auto& A) { return A.Kind == TEventKind::FeatureInfo; });
    events.erase(next, events.end());
    return events;
  }

  std::vector<TRecordedEvent> PressUntilRead(const TGreyImage& AImage) {
    return ActUntilRead([&] { Reader.Press(AImage); });
  }

  // Enrols three impressions of AFinger; returns the format-"10" template, empty on failure.
  std::u16string Enrol(unsigned AFinger) {
    Engine.BeginEnroll();
    std::vector<TRecordedEvent> events;
    for (unsigned impression = 1; impression <= 3; ++impression) {
      const auto press = Press(fingers::FingerImpression(AFinger, impression));
      events.insert(events.end(), press.begin(), press.end());
    }
    const bool enrolled = !events.empty() && events.back().Kind == TEventKind::Enroll &&
                          events.back().ActionResult;
    EXPECT_TRUE(enrolled) << "finger " << AFinger << " not enrolled";
    return enrolled ? Engine.GetTemplateAsStringEx(u"10") : std::u16string();
  }

  static std::string ToNarrow(const std::u16string& AText) { return {AText.begin(), AText.end()}; }

  TLoopMainThreadQueue Queue;
  THoldableQueue Held{Queue};
  TFprintFPEngX Engine;
  TEventRecorder Events;
  TVirtualImageDevice Reader{VirtualReaderPath()};
};
