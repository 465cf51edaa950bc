#include "IdContext.h"

void TIdTCPConnection::Disconnect(bool) {
  if (FIOHandler && FIOHandler->Opened()) FIOHandler->Close();
}

TIdContext::~TIdContext() {
  Unregister();
}

TIdSocketHandle* TIdContext::Binding() {
  if (!FConnection) return nullptr;
  TIdIOHandlerSocket* socket = FConnection->Socket();
  return socket ? socket->Binding() : nullptr;
}
