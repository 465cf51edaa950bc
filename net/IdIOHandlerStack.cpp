#include "IdIOHandlerStack.h"

#include "IdException.h"

void TIdIOHandlerSocket::Open() {
  TIdIOHandler::Open();
  if (FBinding)
    FBinding->CloseSocket();
  else
    FBinding = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::Close() {
  TIdIOHandler::Close();
}

bool TIdIOHandlerSocket::SourceAllocated() {
  return FBinding && FBinding->HandleAllocated();
}

bool TIdIOHandlerSocket::SourceReadable(int AMSec) {
  if (!FBinding) throw EIdConnClosedGracefully();
  return FBinding->Readable(AMSec);
}

int TIdIOHandlerSocket::SourceReceive(uint8_t* ABuffer, int ALength) {
  if (!FBinding) throw EIdClosedSocket();
  return FBinding->Receive(ABuffer, ALength);
}

int TIdIOHandlerSocket::SourceReceiveWaiting(uint8_t* ABuffer, int ALength) {
  if (!FBinding) throw EIdConnClosedGracefully();
  return FBinding->ReceiveWaiting(ABuffer, ALength);
}

int TIdIOHandlerSocket::SourceSend(const uint8_t* ABuffer, int ALength, int ATimeout) {
  if (!FBinding) throw EIdClosedSocket();
  return FBinding->Send(ABuffer, ALength, ATimeout);
}

void TIdIOHandlerSocket::SourceClose() {
  if (FBinding) FBinding->CloseSocket();
}

TIdIOHandlerStack::~TIdIOHandlerStack() {
  Close();
}
