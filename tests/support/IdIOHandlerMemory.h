#pragma once

#include <condition_variable>
#include <mutex>

#include "IdIOHandler.h"

// TIdIOHandler over memory: tests and fuzzers feed exact bytes and read back what was written,
// with no port. FailAtCall makes the n-th transport call (counted from 1 over waits, receives and
// sends) fail with a socket error, to show what the layers above do with a failure there.
class TIdIOHandlerMemory : public TIdIOHandler {
 public:
  TIdIOHandlerMemory();
  ~TIdIOHandlerMemory() override;

  // Bytes the peer sends; AEndOfStream makes the peer close once they are read.
  void Feed(const TIdBytes& ABytes, bool AEndOfStream = false);
  void Feed(std::string_view ABytes, bool AEndOfStream = false);
  void FeedEndOfStream();
  // Everything written so far; TakeWritten also clears it.
  TIdBytes Written() const;
  TIdBytes TakeWritten();
  // Receives hand out at most this many bytes each (1 splits the input into single bytes).
  void SetReceiveChunk(int ABytes);
  void FailAtCall(int ACallNumber, int AErrorNumber = 10054);
  int Calls() const;

 protected:
  bool SourceAllocated() override;
  bool SourceReadable(int AMSec) override;
  int SourceReceive(uint8_t* ABuffer, int ALength) override;
  int SourceSend(const uint8_t* ABuffer, int ALength, int ATimeout) override;
  void SourceClose() override;

 private:
  void CountCall();

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  TIdBytes FPending;
  size_t FPendingHead = 0;
  bool FEndOfStream = false;
  bool FClosed = false;
  TIdBytes FWritten;
  int FReceiveChunk = 1 << 30;
  int FCalls = 0;
  int FFailAt = 0;
  int FFailError = 0;
};
