#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "MainThreadQueue.h"
#include "NqFPEngXControl_TLB.h"

// A private directory under /tmp, removed with everything in it at the end of the test.
class TTempDir {
 public:
  TTempDir() {
    std::string pattern = "/tmp/tessiva-engine-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string File(const std::string& AName) const { return FPath + "/" + AName; }

 private:
  std::string FPath;
};

enum class TEventKind { FeatureInfo, Enroll, Capture };

// One event as a handler saw it, with the properties a bridge handler reads at that moment.
struct TRecordedEvent {
  TEventKind Kind = TEventKind::FeatureInfo;
  int32_t QualityClass = 0;   // OnFeatureInfo's AQuality
  bool ActionResult = false;  // OnEnroll / OnCapture
  std::u16string Template;    // OnEnroll / OnCapture
  bool IsRegister = false;
  int32_t EnrollIndex = 0;
  int32_t EnrollCount = 0;
  int32_t LastQuality = 0;
  std::thread::id Thread;
};

// Assigns all three handlers of an engine and records what they see.
class TEventRecorder {
 public:
  explicit TEventRecorder(TNqFPEngX& AEngine) {
    AEngine.OnFeatureInfo = [this](TNqFPEngX* ASender, int32_t AQuality) {
      Record(*ASender, TEventKind::FeatureInfo, AQuality, false, {});
    };
    AEngine.OnEnroll = [this](TNqFPEngX* ASender, bool AResult, const OleVariant& ATemplate) {
      Record(*ASender, TEventKind::Enroll, 0, AResult, ATemplate);
    };
    AEngine.OnCapture = [this](TNqFPEngX* ASender, bool AResult, const OleVariant& ATemplate) {
      Record(*ASender, TEventKind::Capture, 0, AResult, ATemplate);
    };
  }

  std::vector<TRecordedEvent> Events() {
    std::lock_guard lock(FLock);
    return FEvents;
  }
  std::vector<TRecordedEvent> Take() {
    std::lock_guard lock(FLock);
    return std::exchange(FEvents, {});
  }

 private:
  void Record(TNqFPEngX& ASender, TEventKind AKind, int32_t AQualityClass, bool AResult,
              const OleVariant& ATemplate) {
    TRecordedEvent event;
    event.Kind = AKind;
    event.QualityClass = AQualityClass;
    event.ActionResult = AResult;
    event.Template = ATemplate;
    event.IsRegister = ASender.IsRegister();
    event.EnrollIndex = ASender.EnrollIndex();
    event.EnrollCount = ASender.EnrollCount();
    event.LastQuality = ASender.LastQuality();
    event.Thread = std::this_thread::get_id();
    std::lock_guard lock(FLock);
    FEvents.push_back(std::move(event));
  }

  std::mutex FLock;
  std::vector<TRecordedEvent> FEvents;
};

inline std::vector<TEventKind> KindsOf(const std::vector<TRecordedEvent>& events) {
  std::vector<TEventKind> kinds;
  for (const auto& e : events) kinds.push_back(e.Kind);
  return kinds;
}

// Runs AWork on a thread of its own while this (the main) thread empties AQueue, so that work
// which waits for the main thread, such as a control client's touch, can finish. Returns what
// AWork returns; fails the test if it does not finish within the deadline.
template <class TWork>
auto WhileServing(TLoopMainThreadQueue& AQueue, TWork AWork) {
  std::atomic<bool> finished = false;
  decltype(AWork()) result{};
  std::thread worker([&] {
    result = AWork();
    finished = true;
    AQueue.Queue([] {});  // wakes the main thread's wait
  });
  const bool inTime = AQueue.RunUntil([&] { return finished.load(); });
  worker.join();
  EXPECT_TRUE(inTime) << "work did not finish while the main thread served";
  return result;
}
