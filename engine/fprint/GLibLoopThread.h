#pragma once

#include <glib.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "Completion.h"
#include "GLibPtr.h"

// The thread libfprint runs on: it owns GLib's global default main context for its whole life
// and runs a loop on it, so that libfprint's asynchronous calls, their completions and the
// sources libfprint and GUsb attach to that context (enumeration iterates it) all happen here.
// Nothing else in the process may iterate that context: Qt must not use its GLib event
// dispatcher (QT_NO_GLIB). Hence one such thread per process, shared by its users.
//
// Other threads hand it procedures through a queue under our own lock (GLib's locks are
// invisible to ThreadSanitizer); they run in order. The loop thread never waits for another.
class TGLibLoopThread {
 public:
  // The process's loop thread, started by the first user and stopped when the last lets go.
  static std::shared_ptr<TGLibLoopThread> Acquire();

  // Stops the loop and joins the thread; procedures still queued are dropped unrun.
  ~TGLibLoopThread();
  TGLibLoopThread(const TGLibLoopThread&) = delete;
  TGLibLoopThread& operator=(const TGLibLoopThread&) = delete;

  // Queues AProc to run on the loop thread after everything queued before it.
  void Post(std::function<void()> AProc);

  // Runs AProc on the loop thread and returns its result; on the loop thread itself at once.
  // AProc must be short: it holds up the loop and the caller.
  template <class TProc>
  std::invoke_result_t<TProc> Invoke(TProc AProc) {
    using TResult = std::invoke_result_t<TProc>;
    if (IsLoopThread()) return AProc();
    if constexpr (std::is_void_v<TResult>) {
      Invoke([&] {
        AProc();
        return true;
      });
    } else {
      auto done = std::make_shared<TCompletion<TResult>>();
      Post([&AProc, done] { done->Set(AProc()); });
      return *done->WaitFor(std::chrono::hours(24 * 365));
    }
  }

  bool IsLoopThread() const { return std::this_thread::get_id() == FLoopThreadId.load(); }

 private:
  TGLibLoopThread();
  static gboolean DrainPending(gpointer ASelf);

  TGMainContextPtr FContext;
  TGMainLoopPtr FLoop;
  std::atomic<std::thread::id> FLoopThreadId;
  std::mutex FLock;
  std::deque<std::function<void()>> FPending;
  // Loop thread only: set while a drain runs, so that a nested main-loop iteration inside a
  // procedure (libfprint enumerates devices that way) does not start the next one early.
  bool FDraining = false;
  std::thread FThread;
};
