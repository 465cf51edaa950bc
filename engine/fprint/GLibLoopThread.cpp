#include "GLibLoopThread.h"

std::shared_ptr<TGLibLoopThread> TGLibLoopThread::Acquire() {
  static std::mutex lock;
  static std::weak_ptr<TGLibLoopThread> shared;
  std::lock_guard guard(lock);
  std::shared_ptr<TGLibLoopThread> thread = shared.lock();
  if (!thread) {
    thread.reset(new TGLibLoopThread());
    shared = thread;
  }
  return thread;
}

TGLibLoopThread::TGLibLoopThread()
    : FContext(g_main_context_ref(g_main_context_default())),
      FLoop(g_main_loop_new(FContext.get(), FALSE)) {
  auto started = std::make_shared<TCompletion<bool>>();
  FThread = std::thread([this, started] {
    FLoopThreadId = std::this_thread::get_id();
    started->Set(true);
    g_main_loop_run(FLoop.get());
  });
  started->WaitFor(std::chrono::hours(24));
}

TGLibLoopThread::~TGLibLoopThread() {
  Post([this] { g_main_loop_quit(FLoop.get()); });
  FThread.join();
  // The context outlives us (the next loop thread runs it): no drain may reach us from there.
  while (g_source_remove_by_user_data(this)) {
  }
}

void TGLibLoopThread::Post(std::function<void()> AProc) {
  bool wasEmpty;
  {
    std::lock_guard lock(FLock);
    wasEmpty = FPending.empty();
    FPending.push_back(std::move(AProc));
  }
  // One idle source per burst: a drain takes everything queued up to then.
  if (wasEmpty) {
    GSource* source = g_idle_source_new();
    g_source_set_callback(source, &TGLibLoopThread::DrainPending, this, nullptr);
    g_source_attach(source, FContext.get());
    g_source_unref(source);
  }
}

gboolean TGLibLoopThread::DrainPending(gpointer ASelf) {
  auto& self = *static_cast<TGLibLoopThread*>(ASelf);
  if (self.FDraining) return G_SOURCE_REMOVE;  // the outer drain picks it up
  self.FDraining = true;
  for (;;) {
    std::deque<std::function<void()>> batch;
    {
      std::lock_guard lock(self.FLock);
      batch.swap(self.FPending);
    }
    if (batch.empty()) break;
    for (auto& proc : batch) proc();
  }
  self.FDraining = false;
  return G_SOURCE_REMOVE;
}
