#include "IdCustomTCPServer.h"

#include <pthread.h>

#include <chrono>

#include "IdException.h"
#include "IdTextEncoding.h"

namespace {

// Linux keeps 15 characters of a thread name: keep the part that tells threads apart.
void NameCurrentThread(const std::string& AName) {
  const std::string shortName = AName.size() > 15 ? AName.substr(AName.size() - 15) : AName;
  pthread_setname_np(pthread_self(), shortName.c_str());
}

std::string Narrow(const std::u16string& AText) {
  const TIdBytes bytes = IdTextEncodingASCII().GetBytes(AText);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

struct TIdCustomTCPServer::TYarn {
  std::thread Thread;
  std::atomic<bool> Stopped{false};
  TIdTCPConnection* Connection = nullptr;  // under FYarnsLock; cleared before it is freed
};

TIdListenerThread::TIdListenerThread(TIdCustomTCPServer& AServer, TIdSocketHandle& ABinding,
                                     std::string AName)
    : Binding(ABinding), Server(AServer), Name(std::move(AName)) {}

TIdListenerThread::~TIdListenerThread() {
  Terminate();
  WaitFor();
}

void TIdListenerThread::Start() {
  FThread = std::thread([this] { Execute(); });
}

void TIdListenerThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TIdListenerThread::Execute() {
  NameCurrentThread(Name.substr(Name.rfind("Listener")));
  while (!FStopped) {
    try {
      auto handler = std::make_unique<TIdIOHandlerStack>();
      handler->Open();
      bool accepted = false;
      while (!FStopped) {
        if (!Binding.Readable(250) || FStopped) continue;
        if (handler->Binding()->Accept(Binding)) {
          accepted = true;
          break;
        }
        // A failed accept (for example no descriptors left) leaves the socket readable: pause
        // instead of spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!accepted) {
        FStopped = true;
        throw EAbort();
      }
      handler->IPVersion = handler->Binding()->IPVersion;
      handler->Binding()->SetUseNagle(Binding.UseNagle());
      auto connection = std::make_unique<TIdTCPConnection>(std::move(handler));
      if (Server.MaxConnections > 0 && Server.FContexts.Count() >= Server.MaxConnections) {
        connection->Disconnect(false);
        throw EAbort();
      }
      Server.StartYarn(
          std::make_unique<TIdContext>(std::move(connection), &Server.FContexts, &Server));
    } catch (const EAbort&) {
    } catch (...) {
      if (!FStopped) Server.DoListenException(this, std::current_exception());
    }
  }
}

TIdCustomTCPServer::TIdCustomTCPServer() = default;

TIdCustomTCPServer::~TIdCustomTCPServer() {
  SetActive(false);
}

void TIdCustomTCPServer::DoConnect(TIdContext* AContext) {
  if (OnConnect) OnConnect(AContext);
}

void TIdCustomTCPServer::DoDisconnect(TIdContext* AContext) {
  if (OnDisconnect) OnDisconnect(AContext);
}

void TIdCustomTCPServer::DoException(TIdContext* AContext, std::exception_ptr AException) {
  if (OnException) OnException(AContext, AException);
}

bool TIdCustomTCPServer::DoExecute(TIdContext* AContext) {
  if (OnExecute) OnExecute(AContext);
  TIdTCPConnection* connection = AContext ? AContext->Connection() : nullptr;
  TIdIOHandler* handler = connection ? connection->IOHandler() : nullptr;
  return handler && handler->ConnectedAfterPass();
}

void TIdCustomTCPServer::DoListenException(TIdListenerThread* AThread,
                                           std::exception_ptr AException) {
  if (OnListenException) OnListenException(AThread, AException);
}

void TIdCustomTCPServer::DoTerminateContext(TIdContext* AContext) {
  AContext->Connection()->Disconnect(false);
}

void TIdCustomTCPServer::SetActive(bool AValue) {
  if (AValue == FActive) return;
  if (AValue)
    Startup();
  else
    Shutdown();
}

void TIdCustomTCPServer::Startup() {
  try {
    if (FBindings.Count() == 0) {
      FBindings.Add();
      if (GStackSupportsIPv6()) FBindings.Add().IPVersion = Id_IPv6;
    }
    StartListening();
    FActive = true;
  } catch (...) {
    FActive = true;
    Shutdown();
    throw;
  }
}

void TIdCustomTCPServer::Shutdown() {
  FActive = false;
  StopListening();
  TerminateAllYarns();
}

void TIdCustomTCPServer::StartListening() {
  std::lock_guard lock(FListenersLock);
  const int first = static_cast<int>(FListeners.size());
  int bound = first;
  try {
    for (; bound < FBindings.Count(); ++bound) {
      TIdSocketHandle& binding = FBindings[bound];
      binding.AllocateSocket();
      if (ReuseSocket != rsOSDependent) binding.ReuseSocket = ReuseSocket;
      binding.Bind();
      binding.SetUseNagle(UseNagle);
    }
    const std::string serverName = Name.empty() ? "IdCustomTCPServer" : Narrow(Name);
    FYarnThreadName = Narrow(Name) + "Scheduler User";
    for (int i = first; i < FBindings.Count(); ++i) {
      FBindings[i].Listen(ListenQueue);
      auto listener = std::make_unique<TIdListenerThread>(
          *this, FBindings[i], serverName + " Listener #" + std::to_string(i + 1));
      FListeners.push_back(std::move(listener));
      FListeners.back()->Start();
    }
  } catch (...) {
    for (int i = std::min(bound, FBindings.Count() - 1); i >= first; --i)
      FBindings[i].CloseSocket();
    throw;
  }
}

void TIdCustomTCPServer::StopListening() {
  std::lock_guard lock(FListenersLock);
  while (!FListeners.empty()) {
    TIdListenerThread& listener = *FListeners.front();
    listener.Terminate();
    listener.Binding.CloseSocket();
    listener.WaitFor();
    FListeners.erase(FListeners.begin());
  }
}

void TIdCustomTCPServer::TerminateAllConnections() {
  TIdListLock<TIdContext> contexts(FContexts);
  for (TIdContext* context : contexts.Items()) DoTerminateContext(context);
}

void TIdCustomTCPServer::TerminateAllYarns() {
  // Stop first, then disconnect: a thread that registers its context after the disconnect pass
  // sees the stop before its first execute pass. The sockets are also shut down here, without
  // the connection-list lock, so that a broadcast blocked on a client that stopped reading gives
  // up at once instead of holding that lock until its write times out.
  {
    std::lock_guard lock(FYarnsLock);
    for (TYarn& yarn : FActiveYarns) {
      yarn.Stopped = true;
      if (yarn.Connection) yarn.Connection->Disconnect(false);
    }
  }
  TerminateAllConnections();
  std::unique_lock lock(FYarnsLock);
  FYarnFinished.wait(lock, [&] { return FActiveYarns.empty(); });
  std::list<TYarn> finished;
  finished.swap(FFinishedYarns);
  lock.unlock();
  for (TYarn& yarn : finished) yarn.Thread.join();
}

void TIdCustomTCPServer::StartYarn(std::unique_ptr<TIdContext> AContext) {
  std::lock_guard lock(FYarnsLock);
  const auto yarn = FActiveYarns.emplace(FActiveYarns.end());
  yarn->Connection = AContext->Connection();
  TIdContext* context = AContext.release();
  try {
    yarn->Thread = std::thread([this, yarn, context] { RunYarn(yarn, context); });
  } catch (...) {
    delete context;
    FActiveYarns.erase(yarn);
    throw;
  }
}

void TIdCustomTCPServer::RunYarn(std::list<TYarn>::iterator AYarn, TIdContext* AContext) {
  NameCurrentThread(FYarnThreadName);
  std::unique_ptr<TIdContext> context(AContext);
  if (TIdIOHandler* handler = context->Connection()->IOHandler())
    handler->SetReaderThread(std::this_thread::get_id());
  std::exception_ptr failure;
  try {
    context->Register();
    ContextConnected(context.get());
    while (!AYarn->Stopped) {
      if (!DoExecute(context.get())) break;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    ContextDisconnected(context.get());
    context->Unregister();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) {
    try {
      DoException(context.get(), failure);
    } catch (...) {
    }
  }
  {
    std::lock_guard lock(FYarnsLock);
    AYarn->Connection = nullptr;
  }
  context.reset();
  // Each ending thread joins the one that ended before it, so at most one is left unjoined. Joining
  // frees a thread's stack, which costs an munmap: paid here by threads that are ending anyway,
  // not by the listener before it can accept the next clients.
  std::list<TYarn> previous;
  {
    std::lock_guard lock(FYarnsLock);
    previous.swap(FFinishedYarns);
    FFinishedYarns.splice(FFinishedYarns.end(), FActiveYarns, AYarn);
  }
  FYarnFinished.notify_all();
  for (TYarn& yarn : previous) yarn.Thread.join();
}
