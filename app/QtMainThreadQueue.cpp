#include "QtMainThreadQueue.h"

#include <QMetaObject>

namespace {
// Long enough to gather the log lines of many commands into one batch, short enough that nobody
// watching the log sees the delay.
constexpr int kDrainDelayMSec = 5;
// Drains that find nothing before the queue stops looking by itself and waits to be woken again:
// about a tenth of a second of quiet.
constexpr int kIdleDrainsBeforeSleep = 20;
}  // namespace

TQtMainThreadQueue::TQtMainThreadQueue(IErrorDisplay& AErrors)
    : FErrors(AErrors), FMainThread(std::this_thread::get_id()) {
  FDrainTimer.setSingleShot(true);
  FDrainTimer.setInterval(kDrainDelayMSec);
  connect(&FDrainTimer, &QTimer::timeout, this, &TQtMainThreadQueue::DrainOnTimer);
}

TQtMainThreadQueue::~TQtMainThreadQueue() {
  // The dropped procedures are destroyed after the lock is released.
  std::deque<std::function<void()>> dropped;
  std::lock_guard lock(FLock);
  dropped.swap(FPending);
}

void TQtMainThreadQueue::Queue(std::function<void()> AProc) {
  if (std::this_thread::get_id() == FMainThread) {
    AProc();
    return;
  }
  bool wake;
  {
    std::lock_guard lock(FLock);
    // A non-empty list already has a drain on its way, or one running that will reach this
    // entry; while the main thread keeps draining on its own, it needs no wake-up either. Waking
    // it costs the caller a system call, often in the middle of answering a client.
    wake = FPending.empty() && !FDrainsOnItsOwn;
    FPending.push_back(std::move(AProc));
  }
  if (wake)
    QMetaObject::invokeMethod(this, &TQtMainThreadQueue::ScheduleDrain, Qt::QueuedConnection);
}

void TQtMainThreadQueue::ScheduleDrain() {
  if (!FDrainTimer.isActive()) FDrainTimer.start();
}

bool TQtMainThreadQueue::TakeNext(std::function<void()>& AProc) {
  std::lock_guard lock(FLock);
  if (FPending.empty()) return false;
  AProc = std::move(FPending.front());
  FPending.pop_front();
  return true;
}

void TQtMainThreadQueue::DrainOnTimer() {
  const bool ranAny = Drain();
  FIdleDrains = ranAny ? 0 : FIdleDrains + 1;
  bool again;
  {
    std::lock_guard lock(FLock);
    // Stops only with nothing pending: whatever is queued after this is queued with a wake-up.
    again = !FPending.empty() || FIdleDrains < kIdleDrainsBeforeSleep;
    FDrainsOnItsOwn = again;
  }
  if (again) FDrainTimer.start();
}

bool TQtMainThreadQueue::Drain() {
  ++FDrainDepth;
  bool ranAny = false;
  std::function<void()> proc;
  while (TakeNext(proc)) {
    ranAny = true;
    try {
      proc();
    } catch (...) {
      ShowCurrentException(FErrors);
    }
    proc = nullptr;
  }
  --FDrainDepth;
  emit BatchDone();
  return ranAny;
}
