#include "QtMainThreadQueue.h"

#include <QMetaObject>

namespace {
// Long enough to gather the log lines of many commands into one batch, short enough that nobody
// watching the log sees the delay.
constexpr int kDrainDelayMSec = 5;
}  // namespace

TQtMainThreadQueue::TQtMainThreadQueue(IErrorDisplay& AErrors)
    : FErrors(AErrors), FMainThread(std::this_thread::get_id()) {
  FDrainTimer.setSingleShot(true);
  FDrainTimer.setInterval(kDrainDelayMSec);
  connect(&FDrainTimer, &QTimer::timeout, this, &TQtMainThreadQueue::Drain);
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
  bool wasEmpty;
  {
    std::lock_guard lock(FLock);
    wasEmpty = FPending.empty();
    FPending.push_back(std::move(AProc));
  }
  // A non-empty list already has a drain on its way, or one running that will reach this entry.
  if (wasEmpty)
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

void TQtMainThreadQueue::Drain() {
  ++FDrainDepth;
  std::function<void()> proc;
  while (TakeNext(proc)) {
    try {
      proc();
    } catch (...) {
      ShowCurrentException(FErrors);
    }
    proc = nullptr;
  }
  --FDrainDepth;
  emit BatchDone();
}
