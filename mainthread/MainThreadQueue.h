#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs procedures on the main thread. Called on the main thread, the procedure runs at once,
// before Queue returns; called on any other thread, it is appended to a first-in first-out
// queue that the main thread empties in order, and the caller goes on without waiting.
class IMainThreadQueue {
 public:
  virtual ~IMainThreadQueue() = default;
  virtual void Queue(std::function<void()> AProc) = 0;
};

// A main-thread queue without a GUI loop: the thread that creates it is the main thread, which
// empties the queue by calling ProcessPending or RunUntil. Used headless and by tests.
class TLoopMainThreadQueue : public IMainThreadQueue {
 public:
  TLoopMainThreadQueue() : FMainThread(std::this_thread::get_id()) {}

  void Queue(std::function<void()> AProc) override {
    if (std::this_thread::get_id() == FMainThread) {
      AProc();
      return;
    }
    {
      std::lock_guard lock(FLock);
      FPending.push_back(std::move(AProc));
    }
    FWake.notify_all();
  }

  // Runs everything queued so far, in order; returns how many procedures ran.
  int ProcessPending() {
    std::deque<std::function<void()>> batch;
    {
      std::lock_guard lock(FLock);
      batch.swap(FPending);
    }
    for (auto& proc : batch) proc();
    return static_cast<int>(batch.size());
  }

  // Processes queued procedures until APredicate holds or the deadline passes; returns the
  // predicate's last value. Sleeps while nothing is queued.
  template <class Pred>
  bool RunUntil(Pred APredicate, std::chrono::milliseconds ATimeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    for (;;) {
      ProcessPending();
      if (APredicate()) return true;
      std::unique_lock lock(FLock);
      if (!FWake.wait_until(lock, deadline, [&] { return !FPending.empty(); })) {
        lock.unlock();
        ProcessPending();
        return APredicate();
      }
    }
  }

  bool IsMainThread() const { return std::this_thread::get_id() == FMainThread; }

 private:
  const std::thread::id FMainThread;
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FPending;
};
