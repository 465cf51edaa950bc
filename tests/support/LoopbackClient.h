#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

// A blocking TCP client for tests: loopback only, every wait bounded by a deadline.
class TLoopbackClient {
 public:
  TLoopbackClient(uint16_t APort, bool AIPv6 = false) {
    FFd = ::socket(AIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FFd < 0) throw std::runtime_error("socket failed");
    const int on = 1;
    ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    int rc;
    if (AIPv6) {
      sockaddr_in6 a{};
      a.sin6_family = AF_INET6;
      a.sin6_port = htons(APort);
      a.sin6_addr = in6addr_loopback;
      rc = ::connect(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(APort);
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      rc = ::connect(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0) {
      ::close(FFd);
      FFd = -1;
      throw std::runtime_error("connect failed");
    }
  }
  ~TLoopbackClient() { Close(); }
  TLoopbackClient(const TLoopbackClient&) = delete;
  TLoopbackClient& operator=(const TLoopbackClient&) = delete;

  void Send(const std::string& ABytes) {
    size_t sent = 0;
    while (sent < ABytes.size()) {
      const ssize_t n = ::send(FFd, ABytes.data() + sent, ABytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) throw std::runtime_error("send failed");
      sent += size_t(n);
    }
  }

  // Reads until ACount bytes arrived, the peer closed, or the deadline passed.
  std::string ReceiveExactly(size_t ACount,
                             std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    std::string data;
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    while (data.size() < ACount) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{FFd, POLLIN, 0};
      if (::poll(&p, 1, int(left.count())) <= 0) break;
      char buf[65536];
      const ssize_t n = ::recv(FFd, buf, std::min(sizeof buf, ACount - data.size()), 0);
      if (n <= 0) break;
      data.append(buf, size_t(n));
    }
    return data;
  }

  // True when the peer closed the connection (end-of-stream or reset) before the deadline.
  bool WaitForClose(std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{FFd, POLLIN, 0};
      if (::poll(&p, 1, int(left.count())) <= 0) return false;
      char buf[4096];
      const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
      if (n <= 0) return true;
    }
  }

  // Nothing arrives within AQuiet (used only to show that no answer was sent).
  bool NothingWithin(std::chrono::milliseconds AQuiet) {
    pollfd p{FFd, POLLIN, 0};
    return ::poll(&p, 1, int(AQuiet.count())) == 0;
  }

  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }
  int Fd() const { return FFd; }

 private:
  int FFd = -1;
};

// Waits for APredicate with a generous deadline, polling; for conditions set by other threads.
template <class Pred>
bool WaitFor(Pred APredicate, std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + ADeadline;
  while (std::chrono::steady_clock::now() < end) {
    if (APredicate()) return true;
    ::usleep(2000);
  }
  return APredicate();
}
