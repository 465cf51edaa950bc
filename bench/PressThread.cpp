#include "PressThread.h"

#include <stdexcept>
#include <utility>

TPressThread::TPressThread(std::string ASocketPath)
    : FReader(std::move(ASocketPath)), FThread([this](std::stop_token AStop) { Run(AStop); }) {}

TPressThread::~TPressThread() {
  FThread.request_stop();
  FWake.notify_all();
}

void TPressThread::Press(const TGreyImage& AImage) {
  {
    std::lock_guard lock(FLock);
    FQueue.push_back(&AImage);
  }
  FWake.notify_all();
}

std::chrono::steady_clock::time_point TPressThread::LastPressStart() {
  std::lock_guard lock(FLock);
  return FLastPressStart;
}

std::string TPressThread::TakeError() {
  std::lock_guard lock(FLock);
  return std::exchange(FError, {});
}

void TPressThread::Run(std::stop_token AStop) {
  for (;;) {
    const TGreyImage* image = nullptr;
    {
      std::unique_lock lock(FLock);
      if (!FWake.wait(lock, AStop, [&] { return !FQueue.empty(); })) return;
      image = FQueue.front();
      FQueue.pop_front();
      FLastPressStart = std::chrono::steady_clock::now();
    }
    try {
      FReader.Press(*image);
    } catch (const std::runtime_error& error) {
      std::lock_guard lock(FLock);
      FError = error.what();
    }
  }
}
