#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ErrorDisplay.h"
#include "MainThreadQueue.h"

// The main-thread queue on Qt's event loop. Create it on the main (GUI) thread.
//
// Procedures queued from other threads wait in a first-in first-out list; the first one asks the
// event loop for a drain a few milliseconds later, which then runs everything pending in one go:
// a burst of log lines costs one wake-up of the main thread and one batch in the log view. While
// procedures keep coming, the main thread drains every few milliseconds without being woken, and
// it stops after a short quiet spell, so a busy bridge's threads never pay for a wake-up and an
// idle one costs nothing. A
// procedure that throws is shown by the error display and the drain goes on. Procedures still
// pending when the queue is destroyed are dropped, not run.
class TQtMainThreadQueue final : public QObject, public IMainThreadQueue {
  Q_OBJECT

 public:
  explicit TQtMainThreadQueue(IErrorDisplay& AErrors);
  ~TQtMainThreadQueue() override;

  void Queue(std::function<void()> AProc) override;

  // Runs every pending procedure in order; main thread only. Takes them one at a time, so a
  // nested drain (a modal message box runs the event loop) continues in the same order. True
  // when it ran any.
  bool Drain();
  // True while a drain is running procedures.
  bool Draining() const { return FDrainDepth > 0; }

 signals:
  // Emitted on the main thread after each drain, for views that collect output per batch.
  void BatchDone();

 private:
  bool TakeNext(std::function<void()>& AProc);
  void ScheduleDrain();
  void DrainOnTimer();

  IErrorDisplay& FErrors;
  const std::thread::id FMainThread;
  std::mutex FLock;
  std::deque<std::function<void()>> FPending;  // guarded by FLock
  bool FDrainsOnItsOwn = false;                // guarded by FLock; written on the main thread
  int FIdleDrains = 0;                         // main thread only
  int FDrainDepth = 0;                         // main thread only
  QTimer FDrainTimer;                          // main thread only
};
