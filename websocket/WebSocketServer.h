#pragma once

#include <memory>
#include <vector>

#include "IdCustomTCPServer.h"
#include "IdHashSHA1.h"

// The connection server with the WebSocket opening handshake. The handshake state of a connection
// is its I/O handler's Tag: -1 while the upgrade request is awaited, 1 once the 101 response went
// out. The owner's OnExecute runs on every pass, before and after the upgrade.
class TWebSocketServer : public TIdCustomTCPServer {
 public:
  TWebSocketServer();
  ~TWebSocketServer() override;

  // The I/O handlers of the upgraded connections, in the order they upgraded, so that a broadcast
  // passes over connections that never upgraded at no cost. Guarded by the Contexts lock: read it
  // only while holding that lock. A handler is listed before its 101 response can reach the
  // client, and unlisted before its connection is freed.
  const std::vector<TIdIOHandler*>& UpgradedHandlers() const { return FUpgraded; }

 protected:
  void DoConnect(TIdContext* AContext) override;
  bool DoExecute(TIdContext* AContext) override;
  void DoDisconnect(TIdContext* AContext) override;

 private:
  // Stateless, so every handshake runs its own computation; freed only after the destructor has
  // ended every connection thread.
  std::unique_ptr<TIdHashSHA1> HashSHA1;
  std::vector<TIdIOHandler*> FUpgraded;
};
