#include "EngineLifeGate.h"

bool TEngineLifeGate::Enter() {
  std::lock_guard lock(FLock);
  if (!FOpen) return false;
  ++FBusy;
  FBusyThread = std::this_thread::get_id();
  return true;
}

void TEngineLifeGate::Leave() {
  {
    std::lock_guard lock(FLock);
    if (--FBusy == 0) FBusyThread = {};
  }
  FIdle.notify_all();
}

bool TEngineLifeGate::IsOpen() {
  std::lock_guard lock(FLock);
  return FOpen;
}

void TEngineLifeGate::Close() {
  std::unique_lock lock(FLock);
  FOpen = false;
  FIdle.wait(lock, [&] { return FBusy == 0 || FBusyThread == std::this_thread::get_id(); });
}
