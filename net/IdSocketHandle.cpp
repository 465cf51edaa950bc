#include "IdSocketHandle.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <list>

#include "IdException.h"
#include "IdTextEncoding.h"

// Holds the descriptor for the length of one platform call. While any holder exists a close from
// another thread only shuts the socket down; the last holder releases the descriptor.
class TSocketUse {
 public:
  explicit TSocketUse(TIdSocketHandle& ASocket) : FSocket(ASocket) {
    uint32_t state = ASocket.FState.load(std::memory_order_acquire);
    do {
      if (!(state & TIdSocketHandle::kAllocated)) return;
    } while (!ASocket.FState.compare_exchange_weak(state, state + 1, std::memory_order_acquire));
    FFd = ASocket.FHandle.load(std::memory_order_relaxed);
  }
  ~TSocketUse() {
    if (FFd >= 0) FSocket.EndUse(FFd);
  }
  TSocketUse(const TSocketUse&) = delete;
  TSocketUse& operator=(const TSocketUse&) = delete;
  int Fd() const { return FFd; }

 private:
  TIdSocketHandle& FSocket;
  int FFd = -1;
};

namespace {

// Digits written straight into the text: inet_ntop, snprintf and a re-encoding cost more than the
// accept call itself, and every accept formats two addresses.
void AppendNumber(std::u16string& AText, unsigned AValue, unsigned ABase) {
  char16_t digits[8];
  int count = 0;
  do {
    digits[count++] = u"0123456789ABCDEF"[AValue % ABase];
    AValue /= ABase;
  } while (AValue != 0);
  while (count > 0) AText.push_back(digits[--count]);
}

std::u16string FormatAddress(const sockaddr_storage& AAddress, uint16_t& APort) {
  std::u16string text;
  if (AAddress.ss_family == AF_INET6) {
    const auto& a6 = reinterpret_cast<const sockaddr_in6&>(AAddress);
    APort = ntohs(a6.sin6_port);
    // Eight groups, upper-case, never shortened with "::".
    for (int group = 0; group < 8; ++group) {
      if (group > 0) text.push_back(u':');
      AppendNumber(
          text, (a6.sin6_addr.s6_addr[2 * group] << 8) | a6.sin6_addr.s6_addr[2 * group + 1], 16);
    }
    return text;
  }
  const auto& a4 = reinterpret_cast<const sockaddr_in&>(AAddress);
  APort = ntohs(a4.sin_port);
  const auto* octets = reinterpret_cast<const uint8_t*>(&a4.sin_addr);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text.push_back(u'.');
    AppendNumber(text, octets[i], 10);
  }
  return text;
}

bool StackSupports(int AFamily) {
  const int fd = ::socket(AFamily, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
  if (FState.load(std::memory_order_acquire) & kReleasePending) ::close(FHandle.load());
}

bool TIdSocketHandle::HandleAllocated() const {
  return FState.load(std::memory_order_acquire) & kAllocated;
}

int TIdSocketHandle::Handle() const {
  return HandleAllocated() ? FHandle.load(std::memory_order_relaxed) : -1;
}

void TIdSocketHandle::Adopt(int AFd) {
  // Only a close racing with users of the previous descriptor leaves it pending; they are
  // leaving already, as the close woke them.
  for (uint32_t state = FState.load(std::memory_order_acquire); state != 0;
       state = FState.load(std::memory_order_acquire))
    FState.wait(state, std::memory_order_acquire);
  FHandle.store(AFd, std::memory_order_relaxed);
  FState.store(kAllocated, std::memory_order_release);
}

void TIdSocketHandle::EndUse(int AFd) {
  // The last user after a close: nobody else can start a use now, and no descriptor is adopted
  // until the pending flag is cleared.
  if (FState.fetch_sub(1, std::memory_order_acq_rel) != (kReleasePending | 1)) return;
  ::close(AFd);
  FState.store(0, std::memory_order_release);
  FState.notify_all();
}

void TIdSocketHandle::AllocateSocket() {
  CloseSocket();
  const int fd =
      ::socket(IPVersion == Id_IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) RaiseLastSocketError();
  Adopt(fd);
}

void TIdSocketHandle::Bind() {
  TSocketUse use(*this);
  if (use.Fd() < 0) RaiseSocketError(10038);
  // Linux refuses to rebind a port whose old connections linger in TIME_WAIT unless
  // SO_REUSEADDR is on, while it still refuses a port on which another socket listens. Turning
  // the option on for every setting gives the Windows behaviour of both rsTrue and rsFalse.
  const int on = 1;
  ::setsockopt(use.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

  sockaddr_storage address{};
  socklen_t length;
  const TIdBytes ipBytes = IdTextEncodingASCII().GetBytes(IP);
  const std::string ip(ipBytes.begin(), ipBytes.end());
  if (IPVersion == Id_IPv6) {
    // Both default bindings share the port: the IPv6 wildcard must not claim IPv4 as well.
    ::setsockopt(use.Fd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    auto& a6 = reinterpret_cast<sockaddr_in6&>(address);
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(Port);
    a6.sin6_addr = in6addr_any;
    if (!ip.empty() && ::inet_pton(AF_INET6, ip.c_str(), &a6.sin6_addr) != 1)
      RaiseSocketError(10022);
    length = sizeof a6;
  } else {
    auto& a4 = reinterpret_cast<sockaddr_in&>(address);
    a4.sin_family = AF_INET;
    a4.sin_port = htons(Port);
    a4.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!ip.empty() && ::inet_pton(AF_INET, ip.c_str(), &a4.sin_addr) != 1) RaiseSocketError(10022);
    length = sizeof a4;
  }
  if (::bind(use.Fd(), reinterpret_cast<sockaddr*>(&address), length) != 0) RaiseLastSocketError();
  sockaddr_storage bound{};
  socklen_t boundLength = sizeof bound;
  if (::getsockname(use.Fd(), reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0)
    IP = FormatAddress(bound, Port);
}

void TIdSocketHandle::Listen(int AQueueCount) {
  TSocketUse use(*this);
  if (use.Fd() < 0) RaiseSocketError(10038);
  // A full queue refuses a connect at once on Windows, while Linux drops the SYN and the client
  // retries only after a second, then three: a burst of page loads beyond 15 would stall. The
  // queue is therefore as long as the system allows, whatever count is asked for.
  if (::listen(use.Fd(), std::max(AQueueCount, SOMAXCONN)) != 0) RaiseLastSocketError();
}

void TIdSocketHandle::Reset() {
  CloseSocket();
  IP.clear();
  PeerIP.clear();
  Port = 0;
  PeerPort = 0;
}

bool TIdSocketHandle::Accept(TIdSocketHandle& AListening) {
  Reset();
  TSocketUse listening(AListening);
  if (listening.Fd() < 0) return false;
  sockaddr_storage peer{};
  socklen_t peerLength = sizeof peer;
  const int fd =
      ::accept4(listening.Fd(), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
  if (fd < 0) return false;
  Adopt(fd);
  IPVersion = peer.ss_family == AF_INET6 ? Id_IPv6 : Id_IPv4;
  PeerIP = FormatAddress(peer, PeerPort);
  sockaddr_storage local{};
  socklen_t localLength = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0)
    IP = FormatAddress(local, Port);
  if (!FUseNagle) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  return true;
}

bool TIdSocketHandle::Readable(int AMSec) {
  TSocketUse use(*this);
  if (use.Fd() < 0) throw EIdConnClosedGracefully();
  pollfd entry{use.Fd(), POLLIN, 0};
  for (;;) {
    const int rc = ::poll(&entry, 1, AMSec < 0 ? -1 : AMSec);
    if (rc >= 0) return rc > 0;
    if (errno != EINTR) RaiseLastSocketError();
  }
}

int TIdSocketHandle::Receive(uint8_t* ABuffer, int ALength) {
  TSocketUse use(*this);
  if (use.Fd() < 0) throw EIdClosedSocket();
  for (;;) {
    const ssize_t n = ::recv(use.Fd(), ABuffer, ALength, MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    if (errno == ECONNRESET) return 0;
    if (errno != EINTR) RaiseLastSocketError();
  }
}

int TIdSocketHandle::ReceiveWaiting(uint8_t* ABuffer, int ALength) {
  TSocketUse use(*this);
  if (use.Fd() < 0) throw EIdConnClosedGracefully();
  for (;;) {
    const ssize_t n = ::recv(use.Fd(), ABuffer, ALength, 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno == ECONNRESET) return 0;
    if (errno != EINTR) RaiseLastSocketError();
  }
}

int TIdSocketHandle::Send(const uint8_t* ABuffer, int ALength, int ATimeoutMSec) {
  TSocketUse use(*this);
  if (use.Fd() < 0) throw EIdClosedSocket();
  for (;;) {
    const ssize_t n = ::send(use.Fd(), ABuffer, ALength, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) RaiseLastSocketError();
    // A peer that stops reading must not hold the writer (and the connection list the broadcast
    // keeps locked) for ever.
    pollfd entry{use.Fd(), POLLOUT, 0};
    const int rc = ::poll(&entry, 1, ATimeoutMSec < 0 ? -1 : ATimeoutMSec);
    if (rc == 0) return -1;
    if (rc < 0 && errno != EINTR) RaiseLastSocketError();
  }
}

void TIdSocketHandle::WaitForRoom(std::span<TIdSocketHandle* const> ASockets, int AMSec) {
  // Every descriptor is held for the wait, so none can be released and handed out again while it
  // is polled.
  std::list<TSocketUse> uses;
  std::vector<pollfd> entries;
  for (TIdSocketHandle* socket : ASockets) {
    const TSocketUse& use = uses.emplace_back(*socket);
    // A closed socket needs no wait: the next send on it reports the close.
    if (use.Fd() < 0) return;
    entries.push_back({use.Fd(), POLLOUT, 0});
  }
  if (entries.empty()) return;
  // A failed or interrupted poll just ends the wait early: the sends that follow report any fault.
  ::poll(entries.data(), entries.size(), AMSec < 0 ? -1 : AMSec);
}

void TIdSocketHandle::CloseSocket() {
  // The close counts itself as a user while it shuts the socket down, so the descriptor cannot be
  // released under it by a user that leaves meanwhile; whoever leaves last releases it.
  uint32_t state = FState.load(std::memory_order_acquire);
  do {
    if (!(state & kAllocated)) return;
  } while (!FState.compare_exchange_weak(state, ((state & ~kAllocated) | kReleasePending) + 1,
                                         std::memory_order_acquire));
  const int fd = FHandle.load(std::memory_order_relaxed);
  // Shutting down both directions wakes a wait or read in progress on another thread.
  ::shutdown(fd, SHUT_RDWR);
  EndUse(fd);
}

void TIdSocketHandle::SetUseNagle(bool AValue) {
  if (AValue == FUseNagle) return;
  FUseNagle = AValue;
  TSocketUse use(*this);
  if (use.Fd() < 0) return;
  const int noDelay = AValue ? 0 : 1;
  ::setsockopt(use.Fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
}

TIdSocketHandle& TIdSocketHandles::Add() {
  FItems.push_back(std::make_unique<TIdSocketHandle>(FDefaultPort));
  return *FItems.back();
}

bool GStackSupportsIPv4() {
  static const bool supported = StackSupports(AF_INET);
  return supported;
}

bool GStackSupportsIPv6() {
  static const bool supported = StackSupports(AF_INET6);
  return supported;
}
