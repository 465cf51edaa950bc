#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "IdIOHandler.h"
#include "IdIOHandlerStack.h"

class TIdCustomTCPServer;

// A list with a re-entrant lock. LockList gives the items and holds the lock until UnlockList;
// TIdListLock pairs the two for a scope, also when an exception passes.
template <class T>
class TIdThreadSafeList {
 public:
  std::vector<T*>& LockList() {
    FLock.lock();
    return FItems;
  }
  void UnlockList() { FLock.unlock(); }
  void Add(T* AItem) {
    std::lock_guard lock(FLock);
    for (T* item : FItems)
      if (item == AItem) return;
    FItems.push_back(AItem);
  }
  void Remove(T* AItem) {
    std::lock_guard lock(FLock);
    for (auto it = FItems.begin(); it != FItems.end(); ++it)
      if (*it == AItem) {
        FItems.erase(it);
        return;
      }
  }
  int Count() {
    std::lock_guard lock(FLock);
    return static_cast<int>(FItems.size());
  }

 private:
  std::recursive_mutex FLock;
  std::vector<T*> FItems;
};

template <class T>
class TIdListLock {
 public:
  explicit TIdListLock(TIdThreadSafeList<T>& AList) : FList(AList), FItems(AList.LockList()) {}
  ~TIdListLock() { FList.UnlockList(); }
  TIdListLock(const TIdListLock&) = delete;
  TIdListLock& operator=(const TIdListLock&) = delete;
  std::vector<T*>& Items() { return FItems; }

 private:
  TIdThreadSafeList<T>& FList;
  std::vector<T*>& FItems;
};

// A connection: owns its I/O handler, which closes its socket when freed.
class TIdTCPConnection {
 public:
  explicit TIdTCPConnection(std::unique_ptr<TIdIOHandler> AIOHandler)
      : FIOHandler(std::move(AIOHandler)) {}
  TIdIOHandler* IOHandler() { return FIOHandler.get(); }
  // The handler seen as a socket handler; null when the transport is not a socket.
  TIdIOHandlerSocket* Socket() { return dynamic_cast<TIdIOHandlerSocket*>(FIOHandler.get()); }
  virtual ~TIdTCPConnection() = default;
  virtual bool Connected() { return FIOHandler && FIOHandler->Connected(); }
  virtual void Disconnect(bool ANotifyPeer = true);

 private:
  std::unique_ptr<TIdIOHandler> FIOHandler;
};

// One live client connection, handed to the server's connect, execute and disconnect handlers.
class TIdContext {
 public:
  TIdContext(std::unique_ptr<TIdTCPConnection> AConnection, TIdThreadSafeList<TIdContext>* AList,
             TIdCustomTCPServer* AServer)
      : FConnection(std::move(AConnection)), FList(AList), Server(AServer) {}
  virtual ~TIdContext();
  TIdContext(const TIdContext&) = delete;
  TIdContext& operator=(const TIdContext&) = delete;

  TIdTCPConnection* Connection() { return FConnection.get(); }
  // The connection's socket: IP/Port the local end, PeerIP/PeerPort the remote end.
  TIdSocketHandle* Binding();
  void Register() {
    if (FList) FList->Add(this);
  }
  void Unregister() {
    if (FList) FList->Remove(this);
  }

 private:
  std::unique_ptr<TIdTCPConnection> FConnection;
  TIdThreadSafeList<TIdContext>* FList;

 public:
  TIdCustomTCPServer* const Server;
};
