#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "IdBuffer.h"
#include "IdTextEncoding.h"

// A connection's buffered reader and unbuffered writer. All reading and writing logic lives here;
// the transport underneath is reached through the small Source* interface, implemented over a
// socket by TIdIOHandlerStack and, for tests and fuzzers, over memory by TIdIOHandlerMemory
// (tests/support), which feeds exact bytes and makes the n-th transport call fail.
//
// Threads: the connection's own thread reads; other threads may call Connected and Write at the
// same time (the broadcast). On another thread Connected never receives: bytes it took into the
// buffer would leave the reader waiting on a socket that has nothing more to give. Each Write holds
// the write lock for its whole array, so the bytes of two writes never interleave on the wire.
class TIdIOHandler {
 public:
  TIdIOHandler() = default;
  virtual ~TIdIOHandler() = default;
  TIdIOHandler(const TIdIOHandler&) = delete;
  TIdIOHandler& operator=(const TIdIOHandler&) = delete;

  virtual void Open();
  // The thread that reads this connection; Connected on any other thread does not receive. Until
  // it is set every thread counts as the reader.
  void SetReaderThread(std::thread::id AThread) { FReaderThread = AThread; }
  virtual void Close();
  bool Opened() const { return FOpened.load(); }
  bool ClosedGracefully() const { return FClosedGracefully.load(); }

  bool Connected();
  // Connected as far as this connection's reader has seen, without receiving: true while input
  // is buffered or no end of stream, reset or close has been seen. For a broadcast, which would
  // otherwise pay a system call per client and win nothing.
  bool ConnectedWithoutReceiving();
  // Connected for the connection's loop, on the reader thread, after one pass. When the pass's
  // last receive brought data, the next pass's receive tells the end of the stream or a reset as
  // well as a receive now would, which would find nothing new but cost a system call per message:
  // only what has been seen counts then. After a pass that received nothing, or whose receive
  // failed, it is Connected.
  bool ConnectedAfterPass();
  bool CheckForDataOnSource(int ATimeout = 0);
  bool InputBufferIsEmpty() const { return FInputBuffer.Size() == 0; }
  TIdBuffer& InputBuffer() { return FInputBuffer; }
  bool Readable(int AMSec) { return SourceReadable(AMSec); }

  uint8_t ReadByte();
  void ReadBytes(TIdBytes& VBuffer, int AByteCount, bool AAppend = true);
  // Reads and drops AByteCount bytes as they arrive, never holding more of them than one
  // receive brings; raises like ReadBytes when the connection ends first.
  void Skip(int AByteCount);
  // As ReadByte, ReadBytes and Skip, but false when the connection ends first: the end of a
  // connection is the ordinary outcome of its loop, which should not pay for an exception.
  // Transport failures other than an end or a reset still raise.
  bool TryReadByte(uint8_t& AByte);
  bool TryReadBytes(TIdBytes& VBuffer, int AByteCount);
  bool TrySkip(int AByteCount);

  void Write(const TIdBytes& ABuffer, int ALength = -1, int AOffset = 0);
  // Sends the whole range within WriteTimeout in all; a peer that has not taken it by then is
  // dropped (the connection is closed) and 10060 is raised.
  void Write(const uint8_t* ABuffer, int ALength);
  // Sends what the transport takes at once, without waiting: the count sent, 0 when there is no
  // room. The caller holds LockWrites, around all the calls that send one array.
  int WriteNow(const uint8_t* ABuffer, int ALength);
  void Write(std::u16string_view AOut, const IIdTextEncoding* AByteEncoding = nullptr);
  // Holds back every other thread's writes for the guard's life; the holder may write. Lets a
  // caller change state and write as one step (the WebSocket upgrade marks the connection
  // upgraded and sends its response before any broadcast frame can go out).
  std::unique_lock<std::recursive_mutex> LockWrites() {
    return std::unique_lock<std::recursive_mutex>(FWriteLock);
  }

  int ReadFromSource(bool ARaiseExceptionIfDisconnected = true, int ATimeout = -1,
                     bool ARaiseExceptionOnTimeout = true);
  void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true, bool AIgnoreBuffer = false);

  // Free for the layer above (the WebSocket layer keeps its handshake state here). Atomic because
  // a broadcasting thread looks at it to skip connections still in their handshake.
  std::atomic<int32_t> Tag{0};
  int ReadTimeout = -1;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;
  // Longest time one write may take before the peer counts as stalled, the write fails and the
  // connection is closed; -1 means no limit.
  static constexpr int kDefaultWriteTimeout = 5000;
  std::atomic<int> WriteTimeout{kDefaultWriteTimeout};
  // Since when a write group has found this connection unable to take a whole array at once;
  // none while it keeps up. A peer that falls behind is given one WriteTimeout in all, not one
  // per broadcast. Read and written only under LockWrites.
  std::optional<std::chrono::steady_clock::time_point> BehindSince;
  const IIdTextEncoding* DefStringEncoding = &IdTextEncodingDefault();

 protected:
  // The transport. SourceReceive never waits: count, 0 at end-of-stream, -1 when nothing is
  // there; it throws EIdClosedSocket when the transport is gone. SourceSend sends part of the
  // range, waiting at most ATimeout for room (0: not at all), and returns -1 when there was none.
  virtual bool SourceAllocated() = 0;
  virtual bool SourceReadable(int AMSec) = 0;
  virtual int SourceReceive(uint8_t* ABuffer, int ALength) = 0;
  // Waits without a time limit, then receives like SourceReceive. A transport that can block in
  // the receive itself overrides it and saves the separate wait.
  virtual int SourceReceiveWaiting(uint8_t* ABuffer, int ALength);
  virtual int SourceSend(const uint8_t* ABuffer, int ALength, int ATimeout) = 0;
  virtual void SourceClose() = 0;

 private:
  void EnsureInputBytes(int AByteCount);
  // Receives until AByteCount bytes are buffered; false when the connection ends first.
  bool FillInputBuffer(int AByteCount);

  TIdBuffer FInputBuffer;
  std::atomic<bool> FOpened{false};
  std::atomic<bool> FClosedGracefully{false};
  std::atomic<std::thread::id> FReaderThread{};
  // Whether the last receive brought data; see ConnectedAfterPass.
  std::atomic<bool> FLastReceiveGotData{false};
  std::mutex FReceiveLock;
  std::recursive_mutex FWriteLock;
};
