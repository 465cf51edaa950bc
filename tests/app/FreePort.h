#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

// A loopback port that was free a moment ago: bound to port 0, read back, released.
inline uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  if (!ok) throw std::runtime_error("no free port");
  return ntohs(address.sin_port);
}

// True when a TCP connection to 127.0.0.1:APort is refused (nobody listens there).
inline bool LoopbackPortRefuses(uint16_t APort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(APort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  ::close(fd);
  return refused;
}
