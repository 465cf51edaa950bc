#include "BridgeScanListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "JsonObject.h"

namespace {

constexpr uint8_t kContinuationFrame = 0x0;
constexpr uint8_t kTextFrame = 0x1;
// Far above any message of the bridge (an enrolled template is a few kilobytes).
constexpr uint64_t kMaxMessage = 16 << 20;
constexpr uint8_t kCloseFrame = 0x8;

TUniqueFd ConnectLoopback(uint16_t APort) {
  std::string why;
  for (const bool v6 : {false, true}) {
    TUniqueFd socket(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) continue;
    sockaddr_storage address{};
    socklen_t length;
    if (v6) {
      auto& a6 = reinterpret_cast<sockaddr_in6&>(address);
      a6.sin6_family = AF_INET6;
      a6.sin6_port = htons(APort);
      a6.sin6_addr = in6addr_loopback;
      length = sizeof a6;
    } else {
      auto& a4 = reinterpret_cast<sockaddr_in&>(address);
      a4.sin_family = AF_INET;
      a4.sin_port = htons(APort);
      a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof a4;
    }
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0) return socket;
    if (why.empty()) why = std::strerror(errno);
  }
  throw EBridgeUnreachable("no bridge at ws://localhost:" + std::to_string(APort) + " (" + why +
                           ")");
}

std::u16string Widened(std::string_view AText) {
  // The members read here are ASCII; other bytes only need to stay inside their strings.
  return std::u16string(AText.begin(), AText.end());
}

std::string Narrowed(std::u16string_view AText) {
  std::string text;
  for (const char16_t c : AText) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return text;
}

}  // namespace

TBridgeScanListener::TBridgeScanListener(uint16_t APort, std::chrono::milliseconds ATimeout)
    : FSocket(ConnectLoopback(APort)) {
  const std::string request =
      "GET / HTTP/1.1\r\nHost: localhost:" + std::to_string(APort) +
      "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  if (::send(FSocket.Get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    throw EBridgeUnreachable("cannot send to the bridge");
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  size_t end;
  while ((end = FPending.find("\r\n\r\n")) == std::string::npos) {
    if (!Receive(deadline)) throw EBridgeUnreachable("the bridge did not answer the handshake");
  }
  if (!FPending.starts_with("HTTP/1.1 101"))
    throw EBridgeUnreachable("no WebSocket at port " + std::to_string(APort));
  FPending.erase(0, end + 4);
}

bool TBridgeScanListener::Receive(std::chrono::steady_clock::time_point ADeadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        ADeadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{FSocket.Get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::recv(FSocket.Get(), chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    FPending.append(chunk, static_cast<size_t>(got));
    return true;
  }
}

bool TBridgeScanListener::Have(size_t ACount, std::chrono::steady_clock::time_point ADeadline) {
  while (FPending.size() < ACount) {
    if (!Receive(ADeadline)) return false;
  }
  return true;
}

std::optional<std::string> TBridgeScanListener::NextText(
    std::chrono::steady_clock::time_point ADeadline) {
  std::string message;
  for (;;) {
    // Server frames are not masked; a message may come in fragments.
    if (!Have(2, ADeadline)) return std::nullopt;
    const uint8_t first = static_cast<uint8_t>(FPending[0]);
    uint64_t length = static_cast<uint8_t>(FPending[1]) & 0x7F;
    const size_t header = 2 + (length == 126 ? 2 : length == 127 ? 8 : 0);
    if (!Have(header, ADeadline)) return std::nullopt;
    if (header > 2) {
      length = 0;
      for (size_t i = 2; i < header; ++i) length = length << 8 | static_cast<uint8_t>(FPending[i]);
    }
    if (length > kMaxMessage || !Have(header + length, ADeadline)) return std::nullopt;
    const std::string payload = FPending.substr(header, length);
    FPending.erase(0, header + length);
    const uint8_t opcode = first & 0x0F;
    if (opcode == kCloseFrame) return std::nullopt;
    if (opcode != kTextFrame && opcode != kContinuationFrame) continue;
    message += payload;
    if (first & 0x80) return message;
  }
}

std::optional<std::string> TBridgeScanListener::NextScanMessage(
    std::chrono::steady_clock::time_point ADeadline) {
  while (const std::optional<std::string> text = NextText(ADeadline)) {
    try {
      const auto parsed = TJsonBaseObject::Parse(Widened(*text));
      const auto* json = dynamic_cast<const TJsonObject*>(parsed.get());
      if (json && json->GetString(u"event") == u"Finger Scan Info")
        return Narrowed(json->GetString(u"message"));
    } catch (const std::exception&) {
      // Not a bridge message; the next one may be.
    }
  }
  return std::nullopt;
}
