#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

enum TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };
enum TIdReuseSocket { rsOSDependent = 0, rsTrue = 1, rsFalse = 2 };

// One socket: a listening socket of the server or the socket of one accepted connection.
//
// CloseSocket may be called from any thread while another thread waits on or reads from the
// socket: it shuts the socket down for both directions, which wakes that wait, and the descriptor
// itself is released only when no thread is inside a call on it, so no call can ever act on a
// descriptor number the system has handed out again.
//
// Every call counts itself as a user of the descriptor in one atomic word, without a lock: a
// broadcast passes over every connection while each connection's reader uses its own socket on
// another core, and a lock here would be one more contended line per client.
class TIdSocketHandle {
 public:
  TIdSocketHandle() = default;
  explicit TIdSocketHandle(uint16_t APort) : Port(APort) {}
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  void AllocateSocket();
  void Bind();
  void Listen(int AQueueCount);
  // Accepts a connection on AListening into this wrapper; false when the accept call fails.
  bool Accept(TIdSocketHandle& AListening);
  // Waits until the socket is readable (data, end-of-stream or a pending error); -1: no limit.
  bool Readable(int AMSec);
  bool Select(int ATimeout) { return Readable(ATimeout); }
  // Receives without waiting: the count, 0 at end-of-stream, -1 when nothing is there. A reset
  // by the peer ends the stream as a close does: both are how clients leave, and neither raises.
  int Receive(uint8_t* ABuffer, int ALength);
  // Receives, waiting without a time limit until something arrives, the stream ends or the socket
  // is closed from another thread (whose shutdown wakes the call): the count, 0 at end-of-stream.
  int ReceiveWaiting(uint8_t* ABuffer, int ALength);
  // Sends part of the range and returns the count sent; waits at most ATimeoutMSec for the peer to
  // take data (-1: no limit, 0: no wait) and returns -1 when it took nothing in that time.
  int Send(const uint8_t* ABuffer, int ALength, int ATimeoutMSec);
  // Waits until at least one of ASockets can take more data (or has failed or been closed), at
  // most AMSec (-1: no limit).
  static void WaitForRoom(std::span<TIdSocketHandle* const> ASockets, int AMSec);
  void CloseSocket();
  void SetUseNagle(bool AValue);

  bool HandleAllocated() const;
  int Handle() const;

  std::u16string IP;
  uint16_t Port = 0;
  std::u16string PeerIP;
  uint16_t PeerPort = 0;
  TIdIPVersion IPVersion = Id_IPv4;
  TIdReuseSocket ReuseSocket = rsOSDependent;
  bool UseNagle() const { return FUseNagle; }

 private:
  friend class TSocketUse;
  void Reset();
  // Makes AFd this wrapper's descriptor once the previous one has been released.
  void Adopt(int AFd);
  // Ends one use of AFd; the last use after a close releases the descriptor.
  void EndUse(int AFd);

  // FState: the user count in the low bits, kAllocated while the descriptor may be used,
  // kReleasePending from a close until the last user has gone. Pending implies not allocated: a
  // new descriptor is adopted only once the old one is released.
  static constexpr uint32_t kAllocated = 1u << 31;
  static constexpr uint32_t kReleasePending = 1u << 30;
  std::atomic<uint32_t> FState{0};
  // Written only while FState is 0; read after a use has been counted.
  std::atomic<int> FHandle{-1};
  bool FUseNagle = true;
};

// The server's bindings; owns its items.
class TIdSocketHandles {
 public:
  explicit TIdSocketHandles(uint16_t ADefaultPort = 0) : FDefaultPort(ADefaultPort) {}
  TIdSocketHandle& Add();
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  TIdSocketHandle& operator[](int AIndex) { return *FItems[AIndex]; }
  uint16_t DefaultPort() const { return FDefaultPort; }
  void SetDefaultPort(uint16_t APort) { FDefaultPort = APort; }

 private:
  uint16_t FDefaultPort;
  std::vector<std::unique_ptr<TIdSocketHandle>> FItems;
};

bool GStackSupportsIPv4();
bool GStackSupportsIPv6();
