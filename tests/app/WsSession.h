#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "WsTestClient.h"

// What a wait on the server ended with.
enum class TWsWait { Done, Closed, TimedOut, Malformed };

// A WebSocket client connection that tells a connection the server closed from one that merely
// stays silent, for tests where the server may drop clients at any moment. Loopback only.
class TWsSession {
 public:
  using TClock = std::chrono::steady_clock;

  // Throws when the connection is refused.
  explicit TWsSession(uint16_t APort) : FSocket(APort) {}

  TWsWait Handshake(std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    static const std::string kResponse =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
    if (!Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"))
      return TWsWait::Closed;
    const TWsWait filled = Fill(kResponse.size(), TClock::now() + ADeadline);
    if (filled != TWsWait::Done) return filled;
    if (FBuffer.compare(0, kResponse.size(), kResponse) != 0) return TWsWait::Malformed;
    FBuffer.erase(0, kResponse.size());
    return TWsWait::Done;
  }

  // False when the connection is gone.
  bool SendText(const std::string& AUtf8) { return Send(TWsTestClient::Frame(0x81, AUtf8)); }

  // The payload of the next server frame, which must be a single text frame.
  TWsWait NextFrame(std::string& APayload, TClock::time_point AEnd) {
    TWsWait filled = Fill(2, AEnd);
    if (filled != TWsWait::Done) return filled;
    if (uint8_t(FBuffer[0]) != 0x81) return TWsWait::Malformed;
    size_t header = 2;
    uint64_t length = uint8_t(FBuffer[1]) & 0x7F;
    if (length >= 126) {
      const size_t extension = length == 126 ? 2 : 8;
      filled = Fill(header + extension, AEnd);
      if (filled != TWsWait::Done) return filled;
      length = 0;
      for (size_t i = 0; i < extension; ++i) length = (length << 8) | uint8_t(FBuffer[2 + i]);
      header += extension;
    }
    filled = Fill(header + length, AEnd);
    if (filled != TWsWait::Done) return filled;
    APayload.assign(FBuffer, header, length);
    FBuffer.erase(0, header + length);
    return TWsWait::Done;
  }

  // Reads frames until one contains ANeedle, which is left in APayload.
  TWsWait FrameWith(const std::string& ANeedle, std::string& APayload,
                    std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const TClock::time_point end = TClock::now() + ADeadline;
    for (;;) {
      const TWsWait got = NextFrame(APayload, end);
      if (got != TWsWait::Done || APayload.find(ANeedle) != std::string::npos) return got;
    }
  }

  // Reads and throws away frames until the server closes the connection.
  TWsWait WaitForClose(std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const TClock::time_point end = TClock::now() + ADeadline;
    for (;;) {
      FBuffer.clear();
      const TWsWait got = Fill(1, end);
      if (got != TWsWait::Done) return got;
    }
  }

  // Throws away whatever has arrived, without waiting, so that broadcasts never back up on this
  // client; frames are not read after this. False once the server closed.
  bool Discard() {
    FBuffer.clear();
    for (;;) {
      char chunk[65536];
      const ssize_t n = ::recv(FSocket.Fd(), chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
  }

  // The client's own port, as the server's log shows it.
  uint16_t LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(FSocket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
  }

  int Fd() const { return FSocket.Fd(); }

 private:
  bool Send(const std::string& ABytes) {
    try {
      FSocket.Send(ABytes);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  }

  // Receives until the buffer holds ACount bytes.
  TWsWait Fill(size_t ACount, TClock::time_point AEnd) {
    while (FBuffer.size() < ACount) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(AEnd - TClock::now());
      if (left.count() <= 0) return TWsWait::TimedOut;
      pollfd entry{FSocket.Fd(), POLLIN, 0};
      const int ready = ::poll(&entry, 1, int(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) return TWsWait::TimedOut;
      char chunk[65536];
      const ssize_t n = ::recv(FSocket.Fd(), chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        FBuffer.append(chunk, size_t(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        // End of stream or a reset: both mean the server dropped the connection.
        return TWsWait::Closed;
      }
    }
    return TWsWait::Done;
  }

  TLoopbackClient FSocket;
  std::string FBuffer;  // received, not yet taken
};
