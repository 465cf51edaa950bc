#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "GreyImage.h"
#include "VirtualImageDevice.h"

// Presses images on the virtual reader from a thread of its own, in the order queued, so that
// the thread running libfprint's loop (which reads the socket) never waits on a write.
class TPressThread {
 public:
  explicit TPressThread(std::string ASocketPath);
  ~TPressThread();
  TPressThread(const TPressThread&) = delete;
  TPressThread& operator=(const TPressThread&) = delete;

  // AImage must outlive the press.
  void Press(const TGreyImage& AImage);
  // When the latest press began to be written; and the error of a press that failed, once.
  std::chrono::steady_clock::time_point LastPressStart();
  std::string TakeError();

 private:
  void Run(std::stop_token AStop);

  TVirtualImageDevice FReader;
  std::mutex FLock;
  std::condition_variable_any FWake;
  std::deque<const TGreyImage*> FQueue;
  std::chrono::steady_clock::time_point FLastPressStart;
  std::string FError;
  std::jthread FThread;  // last: stops and joins before the members it uses go
};
