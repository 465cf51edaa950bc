#pragma once

#include <memory>

#include "IdIOHandler.h"
#include "IdSocketHandle.h"

// The I/O handler of an accepted connection: TIdIOHandler over a socket.
class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  void Open() override;
  void Close() override;
  TIdSocketHandle* Binding() { return FBinding.get(); }
  // The local address an outgoing connection would bind to; never set on accepted connections.
  std::u16string BoundIP;
  bool UseNagle = true;
  TIdIPVersion IPVersion = Id_IPv4;

 protected:
  bool SourceAllocated() override;
  bool SourceReadable(int AMSec) override;
  int SourceReceive(uint8_t* ABuffer, int ALength) override;
  int SourceReceiveWaiting(uint8_t* ABuffer, int ALength) override;
  int SourceSend(const uint8_t* ABuffer, int ALength, int ATimeout) override;
  void SourceClose() override;

 private:
  std::unique_ptr<TIdSocketHandle> FBinding;
};

class TIdIOHandlerStack : public TIdIOHandlerSocket {
 public:
  ~TIdIOHandlerStack() override;
};
