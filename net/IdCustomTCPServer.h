#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IdContext.h"
#include "IdSocketHandle.h"

class TIdCustomTCPServer;

// Accepts connections on one listening binding until stopped.
class TIdListenerThread {
 public:
  TIdListenerThread(TIdCustomTCPServer& AServer, TIdSocketHandle& ABinding, std::string AName);
  ~TIdListenerThread();
  void Start();
  // Marks the thread stopped; it ends within one accept poll (250 ms) or at once when the
  // listening socket is closed.
  void Terminate() { FStopped = true; }
  void WaitFor();
  bool Stopped() const { return FStopped; }
  TIdSocketHandle& Binding;
  TIdCustomTCPServer& Server;
  const std::string Name;

 private:
  void Execute();
  std::atomic<bool> FStopped{false};
  std::thread FThread;
};

using TIdServerThreadEvent = std::function<void(TIdContext* AContext)>;
using TIdServerThreadExceptionEvent =
    std::function<void(TIdContext* AContext, std::exception_ptr AException)>;
using TIdListenExceptionEvent =
    std::function<void(TIdListenerThread* AThread, std::exception_ptr AException)>;

// A multi-threaded TCP server: one listener thread per binding, one thread per connection
// running OnConnect, DoExecute while connected, then OnDisconnect.
//
// A subclass that overrides the Do* operations must deactivate the server in its own destructor,
// so that no connection thread calls into it once its part of the object is gone.
class TIdCustomTCPServer {
 public:
  TIdCustomTCPServer();
  virtual ~TIdCustomTCPServer();
  TIdCustomTCPServer(const TIdCustomTCPServer&) = delete;
  TIdCustomTCPServer& operator=(const TIdCustomTCPServer&) = delete;

  bool Active() const { return FActive; }
  // Activation raises on failure and leaves the server inactive; deactivation closes every
  // connection and returns when every connection thread has ended.
  void SetActive(bool AValue);
  TIdSocketHandles& Bindings() { return FBindings; }
  uint16_t DefaultPort() const { return FBindings.DefaultPort(); }
  void SetDefaultPort(uint16_t APort) { FBindings.SetDefaultPort(APort); }
  TIdThreadSafeList<TIdContext>& Contexts() { return FContexts; }

  std::u16string Name;
  int ListenQueue = 15;
  bool UseNagle = true;
  TIdReuseSocket ReuseSocket = rsOSDependent;
  int MaxConnections = 0;

  TIdServerThreadEvent OnConnect;
  TIdServerThreadEvent OnExecute;
  TIdServerThreadEvent OnDisconnect;
  TIdServerThreadExceptionEvent OnException;
  TIdListenExceptionEvent OnListenException;

 protected:
  virtual void ContextConnected(TIdContext* AContext) { DoConnect(AContext); }
  virtual void ContextDisconnected(TIdContext* AContext) { DoDisconnect(AContext); }
  virtual void DoConnect(TIdContext* AContext);
  virtual void DoDisconnect(TIdContext* AContext);
  virtual void DoException(TIdContext* AContext, std::exception_ptr AException);
  // One pass of a connection's loop; the loop goes on while it returns true.
  virtual bool DoExecute(TIdContext* AContext);
  virtual void DoListenException(TIdListenerThread* AThread, std::exception_ptr AException);
  virtual void DoTerminateContext(TIdContext* AContext);
  virtual void Startup();
  virtual void Shutdown();

 private:
  friend class TIdListenerThread;
  struct TYarn;

  void StartListening();
  void StopListening();
  void TerminateAllConnections();
  void TerminateAllYarns();
  void StartYarn(std::unique_ptr<TIdContext> AContext);
  void RunYarn(std::list<TYarn>::iterator AYarn, TIdContext* AContext);

  std::atomic<bool> FActive{false};
  TIdSocketHandles FBindings;
  TIdThreadSafeList<TIdContext> FContexts;

  std::mutex FListenersLock;
  std::vector<std::unique_ptr<TIdListenerThread>> FListeners;

  // The connection threads (the scheduler's records): running ones, and ended ones not yet joined.
  std::mutex FYarnsLock;
  std::condition_variable FYarnFinished;
  std::list<TYarn> FActiveYarns;
  std::list<TYarn> FFinishedYarns;
  // Set before the listeners start, so that connection threads only read it.
  std::string FYarnThreadName;
};
