#include "IdIOHandler.h"

#include <algorithm>
#include <chrono>

#include "IdDeadline.h"
#include "IdException.h"

namespace {
constexpr int kReceiveChunk = 32768;
}

void TIdIOHandler::Open() {
  FClosedGracefully = false;
  FInputBuffer.Clear();
  FOpened = true;
}

void TIdIOHandler::Close() {
  SourceClose();
  FOpened = false;
}

void TIdIOHandler::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer) {
  bool disconnected;
  if (FClosedGracefully) {
    if (SourceAllocated()) Close();
    disconnected = true;
  } else {
    disconnected = !SourceAllocated();
  }
  // Unread buffered data is still delivered before the end is reported.
  if (disconnected && ARaiseExceptionIfDisconnected && (AIgnoreBuffer || InputBufferIsEmpty()))
    throw EIdConnClosedGracefully();
}

int TIdIOHandler::ReadFromSource(bool ARaiseExceptionIfDisconnected, int ATimeout,
                                 bool ARaiseExceptionOnTimeout) {
  int wait = ATimeout;
  if (wait == -1) wait = (ReadTimeout == -1 || ReadTimeout == 0) ? -1 : ReadTimeout;
  CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  if (!SourceAllocated()) {
    if (ARaiseExceptionIfDisconnected) throw EIdNotConnected();
    return 0;
  }
  for (;;) {
    // Without a wait the receive itself tells whether anything is there, and without a time
    // limit the connection's reader waits in one blocking receive: no separate poll either way.
    // Only the reader may hold the receive lock while it waits, as no other thread receives then.
    const bool receiveWaits = wait < 0 && FReaderThread.load() == std::this_thread::get_id();
    bool readable = wait == 0 || receiveWaits;
    try {
      if (!readable) readable = SourceReadable(wait);
    } catch (const EIdConnClosedGracefully&) {
      if (ARaiseExceptionIfDisconnected) throw;
      return 0;
    }
    if (!readable) {
      if (ARaiseExceptionOnTimeout) throw EIdReadTimeout();
      return -1;
    }
    int count = 0;
    if (!FOpened) {
      if (ARaiseExceptionIfDisconnected) throw EIdNotConnected();
    } else {
      std::lock_guard lock(FReceiveLock);
      uint8_t chunk[kReceiveChunk];
      const int size = RecvBufferSize < kReceiveChunk ? RecvBufferSize : kReceiveChunk;
      FLastReceiveGotData.store(false, std::memory_order_relaxed);
      try {
        count = receiveWaits ? SourceReceiveWaiting(chunk, size) : SourceReceive(chunk, size);
      } catch (const EIdClosedSocket&) {
        if (ARaiseExceptionIfDisconnected) throw;
      } catch (const EIdConnClosedGracefully&) {
        // The waiting receive found no socket, as the wait would have.
        if (ARaiseExceptionIfDisconnected) throw;
        return 0;
      }
      if (count > 0) {
        FInputBuffer.Write(chunk, count);
        FLastReceiveGotData.store(true, std::memory_order_relaxed);
      }
    }
    if (count < 0) {
      // Nothing there after all (a spurious wake-up): wait again, or report the empty look.
      if (wait == 0) {
        if (ARaiseExceptionOnTimeout) throw EIdReadTimeout();
        return -1;
      }
      continue;
    }
    if (count == 0) FClosedGracefully = true;
    CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
    if (count != 0) return count;
    if (!SourceAllocated()) return 0;
  }
}

int TIdIOHandler::SourceReceiveWaiting(uint8_t* ABuffer, int ALength) {
  return SourceReadable(-1) ? SourceReceive(ABuffer, ALength) : -1;
}

bool TIdIOHandler::Connected() {
  const std::thread::id reader = FReaderThread;
  if (reader != std::thread::id() && reader != std::this_thread::get_id())
    return ConnectedWithoutReceiving();
  // Unread bytes make the answer true whatever the socket holds; receiving now would only pile
  // up input faster than a slow reader takes it, and cost a system call per pass. The end of the
  // stream is noticed once the buffer has been read.
  if (!InputBufferIsEmpty()) return true;
  try {
    ReadFromSource(false, 0, false);
  } catch (const EIdSocketError& e) {
    const int number = e.LastError();
    if (number == 10053 || number == 10054 || number == 10058) return false;
    throw;
  }
  CheckForDisconnect(false);
  return !InputBufferIsEmpty() || (SourceAllocated() && FOpened && !FClosedGracefully);
}

bool TIdIOHandler::ConnectedWithoutReceiving() {
  // Only what the reader has seen counts: receiving here would strand the reader, and even a
  // peek would cost a system call per client per broadcast, while a frame written to a peer that
  // has just gone costs nothing (the writer swallows the error).
  if (!InputBufferIsEmpty()) return true;
  return FOpened && !FClosedGracefully && SourceAllocated();
}

bool TIdIOHandler::ConnectedAfterPass() {
  if (!FLastReceiveGotData.load(std::memory_order_relaxed)) return Connected();
  // Looked at once: a pass that does not receive again is followed by a full look.
  FLastReceiveGotData.store(false, std::memory_order_relaxed);
  return ConnectedWithoutReceiving();
}

bool TIdIOHandler::CheckForDataOnSource(int ATimeout) {
  const int sizeBefore = FInputBuffer.Size();
  if (!Connected()) return false;
  if (FInputBuffer.Size() > sizeBefore) return true;
  return ReadFromSource(false, ATimeout, false) > 0;
}

bool TIdIOHandler::FillInputBuffer(int AByteCount) {
  while (FInputBuffer.Size() < AByteCount) {
    if (ReadFromSource(false) > 0) continue;
    if (FClosedGracefully || !SourceAllocated()) return false;
  }
  return true;
}

void TIdIOHandler::EnsureInputBytes(int AByteCount) {
  if (AByteCount > 0) {
    if (!FillInputBuffer(AByteCount)) CheckForDisconnect(true, true);
  } else if (AByteCount < 0 && InputBufferIsEmpty()) {
    ReadFromSource(false, ReadTimeout, false);
    CheckForDisconnect(true, true);
  }
}

uint8_t TIdIOHandler::ReadByte() {
  EnsureInputBytes(1);
  return FInputBuffer.ExtractByte();
}

void TIdIOHandler::ReadBytes(TIdBytes& VBuffer, int AByteCount, bool AAppend) {
  if (AByteCount == 0) return;
  EnsureInputBytes(AByteCount);
  FInputBuffer.ExtractToBytes(VBuffer, AByteCount, AAppend);
}

void TIdIOHandler::Skip(int AByteCount) {
  if (!TrySkip(AByteCount)) CheckForDisconnect(true, true);
}

bool TIdIOHandler::TryReadByte(uint8_t& AByte) {
  if (!FillInputBuffer(1)) return false;
  AByte = FInputBuffer.ExtractByte();
  return true;
}

bool TIdIOHandler::TryReadBytes(TIdBytes& VBuffer, int AByteCount) {
  if (AByteCount <= 0) return true;
  if (!FillInputBuffer(AByteCount)) return false;
  FInputBuffer.ExtractToBytes(VBuffer, AByteCount, true);
  return true;
}

bool TIdIOHandler::TrySkip(int AByteCount) {
  while (AByteCount > 0) {
    if (!FillInputBuffer(1)) return false;
    const int taken = std::min(AByteCount, FInputBuffer.Size());
    FInputBuffer.Remove(taken);
    AByteCount -= taken;
  }
  return true;
}

void TIdIOHandler::Write(const TIdBytes& ABuffer, int ALength, int AOffset) {
  const int available = static_cast<int>(ABuffer.size()) - AOffset;
  if (ALength < 0 || ALength > available) ALength = available;
  if (ALength < 1) return;
  Write(ABuffer.data() + AOffset, ALength);
}

void TIdIOHandler::Write(const uint8_t* ABuffer, int ALength) {
  if (ALength < 1) return;
  std::lock_guard lock(FWriteLock);
  CheckForDisconnect(true, true);
  // One bound for the whole array, not one per wait: a peer that takes a few bytes now and then
  // must not hold the writer for ever.
  const int timeout = WriteTimeout;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  int position = 0;
  while (position < ALength) {
    const int wait = timeout < 0 ? -1 : MillisecondsUntil(deadline);
    const int sent = SourceSend(ABuffer + position, ALength - position, wait);
    if (sent < 0) {
      // Dropped, so that its own thread ends too.
      Close();
      RaiseSocketError(Id_WSAETIMEDOUT);
    }
    if (sent == 0) FClosedGracefully = true;
    CheckForDisconnect(true, false);
    position += sent;
  }
}

int TIdIOHandler::WriteNow(const uint8_t* ABuffer, int ALength) {
  if (ALength < 1) return 0;
  CheckForDisconnect(true, true);
  const int sent = SourceSend(ABuffer, ALength, 0);
  if (sent < 0) return 0;
  // A close from another thread during the send is found by the next call, or by the reader.
  if (sent == 0) {
    FClosedGracefully = true;
    CheckForDisconnect(true, false);
  }
  return sent;
}

void TIdIOHandler::Write(std::u16string_view AOut, const IIdTextEncoding* AByteEncoding) {
  if (AOut.empty()) return;
  const IIdTextEncoding& encoding = AByteEncoding ? *AByteEncoding : *DefStringEncoding;
  Write(encoding.GetBytes(AOut));
}
