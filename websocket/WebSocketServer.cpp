#include "WebSocketServer.h"

#include <mutex>
#include <optional>
#include <string>

#include "WebSocketHandshake.h"

namespace {
constexpr int32_t kHandshakePending = -1;
}

TWebSocketServer::TWebSocketServer() : HashSHA1(std::make_unique<TIdHashSHA1>()) {
  // Messages are small and each is written whole: Nagle's algorithm would only hold a frame back
  // until the peer's delayed acknowledgement of the previous one.
  UseNagle = false;
}

TWebSocketServer::~TWebSocketServer() {
  // Connection threads call DoExecute and use HashSHA1: end them while both are still here.
  SetActive(false);
}

void TWebSocketServer::DoConnect(TIdContext* AContext) {
  if (TIdIOHandler* handler = AContext->Connection()->IOHandler()) handler->Tag = kHandshakePending;
  TIdCustomTCPServer::DoConnect(AContext);
}

bool TWebSocketServer::DoExecute(TIdContext* AContext) {
  TIdIOHandler* handler = AContext->Connection()->IOHandler();
  if (handler && handler->Tag == kHandshakePending) {
    if (const std::optional<std::string> response = WebSocketUpgradeResponse(*handler, *HashSHA1)) {
      // Listed before the response goes out, so that a broadcast that starts once the client
      // holds its response includes it; and the connection's write lock is taken before the
      // list is unlocked (the broadcast's order), so that a broadcast that lists it writes only
      // after the response. The send itself runs without the list lock: connections starting
      // at the same time need that lock too.
      std::unique_lock<std::recursive_mutex> writes;
      {
        TIdListLock<TIdContext> contexts(Contexts());
        FUpgraded.push_back(handler);
        writes = handler->LockWrites();
      }
      WebSocketUpgrade(*handler, *response);
    }
  }
  return TIdCustomTCPServer::DoExecute(AContext);
}

void TWebSocketServer::DoDisconnect(TIdContext* AContext) {
  if (TIdIOHandler* handler = AContext->Connection()->IOHandler()) {
    TIdListLock<TIdContext> contexts(Contexts());
    std::erase(FUpgraded, handler);
  }
  TIdCustomTCPServer::DoDisconnect(AContext);
}
