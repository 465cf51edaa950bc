#include "IdIOHandlerMemory.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "IdException.h"

TIdIOHandlerMemory::TIdIOHandlerMemory() {
  Open();
}

TIdIOHandlerMemory::~TIdIOHandlerMemory() = default;

void TIdIOHandlerMemory::Feed(const TIdBytes& ABytes, bool AEndOfStream) {
  {
    std::lock_guard lock(FLock);
    FPending.insert(FPending.end(), ABytes.begin(), ABytes.end());
    FEndOfStream = FEndOfStream || AEndOfStream;
  }
  FChanged.notify_all();
}

void TIdIOHandlerMemory::Feed(std::string_view ABytes, bool AEndOfStream) {
  Feed(TIdBytes(ABytes.begin(), ABytes.end()), AEndOfStream);
}

void TIdIOHandlerMemory::FeedEndOfStream() {
  Feed(TIdBytes{}, true);
}

TIdBytes TIdIOHandlerMemory::Written() const {
  std::lock_guard lock(FLock);
  return FWritten;
}

TIdBytes TIdIOHandlerMemory::TakeWritten() {
  std::lock_guard lock(FLock);
  TIdBytes written;
  written.swap(FWritten);
  return written;
}

void TIdIOHandlerMemory::SetReceiveChunk(int ABytes) {
  std::lock_guard lock(FLock);
  FReceiveChunk = ABytes;
}

void TIdIOHandlerMemory::FailAtCall(int ACallNumber, int AErrorNumber) {
  std::lock_guard lock(FLock);
  FFailAt = ACallNumber;
  FFailError = AErrorNumber;
}

int TIdIOHandlerMemory::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

void TIdIOHandlerMemory::CountCall() {
  ++FCalls;
  if (FCalls == FFailAt) RaiseSocketError(FFailError);
}

bool TIdIOHandlerMemory::SourceAllocated() {
  std::lock_guard lock(FLock);
  return !FClosed;
}

bool TIdIOHandlerMemory::SourceReadable(int AMSec) {
  std::unique_lock lock(FLock);
  if (FClosed) throw EIdConnClosedGracefully();
  CountCall();
  auto ready = [&] { return FClosed || FPending.size() > FPendingHead || FEndOfStream; };
  if (AMSec < 0) {
    FChanged.wait(lock, ready);
    return true;
  }
  return FChanged.wait_for(lock, std::chrono::milliseconds(AMSec), ready);
}

int TIdIOHandlerMemory::SourceReceive(uint8_t* ABuffer, int ALength) {
  std::lock_guard lock(FLock);
  if (FClosed) throw EIdClosedSocket();
  CountCall();
  const int left = static_cast<int>(FPending.size() - FPendingHead);
  if (left == 0) return FEndOfStream ? 0 : -1;
  const int count = std::min({ALength, FReceiveChunk, left});
  std::memcpy(ABuffer, FPending.data() + FPendingHead, count);
  FPendingHead += count;
  if (FPendingHead == FPending.size()) {
    FPending.clear();
    FPendingHead = 0;
  }
  return count;
}

int TIdIOHandlerMemory::SourceSend(const uint8_t* ABuffer, int ALength, int) {
  std::lock_guard lock(FLock);
  if (FClosed) throw EIdClosedSocket();
  CountCall();
  FWritten.insert(FWritten.end(), ABuffer, ABuffer + ALength);
  return ALength;
}

void TIdIOHandlerMemory::SourceClose() {
  {
    std::lock_guard lock(FLock);
    FClosed = true;
  }
  FChanged.notify_all();
}
