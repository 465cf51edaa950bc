#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

// A value one thread hands to another that waits for it. Shared by both sides, so that a
// waiter that gave up leaves the setter a valid object.
template <class T>
class TCompletion {
 public:
  void Set(T AValue) {
    {
      std::lock_guard lock(FLock);
      if (FValue) return;
      FValue = std::move(AValue);
    }
    FDone.notify_all();
  }

  // The value, or nothing when it did not come within ATimeout.
  std::optional<T> WaitFor(std::chrono::milliseconds ATimeout) {
    std::unique_lock lock(FLock);
    FDone.wait_for(lock, ATimeout, [&] { return FValue.has_value(); });
    return FValue;
  }

 private:
  std::mutex FLock;
  std::condition_variable FDone;
  std::optional<T> FValue;
};
