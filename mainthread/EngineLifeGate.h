#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Lets procedures queued to the main thread outlive the engine that queued them. Each procedure
// holds the gate (by shared_ptr) and works on the engine only between Enter and Leave; the
// engine closes the gate in its destructor, which waits while a procedure runs on another
// thread. A procedure that destroys the engine from inside an event handler sees IsOpen turn
// false and stops touching it.
class TEngineLifeGate {
 public:
  // False once closed; otherwise the caller must call Leave when it is done.
  bool Enter();
  void Leave();
  bool IsOpen();
  void Close();

 private:
  std::mutex FLock;
  std::condition_variable FIdle;
  bool FOpen = true;
  int FBusy = 0;
  std::thread::id FBusyThread;
};

// The gate entered for one scope; converts to false when the gate was already closed.
class TEngineLifeGatePass {
 public:
  explicit TEngineLifeGatePass(TEngineLifeGate& AGate) : FGate(AGate), FEntered(AGate.Enter()) {}
  ~TEngineLifeGatePass() {
    if (FEntered) FGate.Leave();
  }
  TEngineLifeGatePass(const TEngineLifeGatePass&) = delete;
  TEngineLifeGatePass& operator=(const TEngineLifeGatePass&) = delete;

  explicit operator bool() const { return FEntered; }

 private:
  TEngineLifeGate& FGate;
  const bool FEntered;
};
