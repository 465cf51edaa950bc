#include "WebSocketServer.h"

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
  if (handler && handler->Tag == kHandshakePending) WebSocketHandshakeStep(*handler, *HashSHA1);
  return TIdCustomTCPServer::DoExecute(AContext);
}
