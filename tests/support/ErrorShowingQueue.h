#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "MainThreadQueue.h"

// The main-thread queue as the application runs it, on the test's thread: a procedure queued
// from another thread whose error escapes is shown (handed to AShow) and the queue goes on with
// the next one; a procedure queued on the main thread runs at once, its error going to the caller.
class TErrorShowingQueue final : public IMainThreadQueue {
 public:
  explicit TErrorShowingQueue(std::function<void(const std::string&)> AShow)
      : FShow(std::move(AShow)) {}

  void Queue(std::function<void()> AProc) override {
    if (Loop.IsMainThread()) {
      AProc();
      return;
    }
    Loop.Queue([this, proc = std::move(AProc)] {
      try {
        proc();
      } catch (const std::exception& e) {
        FShow(e.what());
      }
    });
  }

  // Emptied by the test's thread.
  TLoopMainThreadQueue Loop;

 private:
  const std::function<void(const std::string&)> FShow;
};
