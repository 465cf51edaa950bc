#pragma once

#include <optional>
#include <string>

#include "LoopbackClient.h"

// A minimal WebSocket client for tests: the opening handshake, masked text frames out, server
// frames in. Loopback only; every wait has a deadline.
class TWsTestClient {
 public:
  explicit TWsTestClient(uint16_t APort, bool AHandshake = true) : FSocket(APort) {
    if (AHandshake) Handshake();
  }

  void Handshake() {
    FSocket.Send(
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    const std::string expected =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
    const std::string response = FSocket.ReceiveExactly(expected.size());
    if (response != expected) throw std::runtime_error("bad handshake response: " + response);
  }

  void SendText(const std::string& AUtf8) { FSocket.Send(Frame(0x81, AUtf8)); }
  void SendRaw(const std::string& ABytes) { FSocket.Send(ABytes); }

  // The payload of the next server frame, or nothing when none arrived before the deadline.
  std::optional<std::string> ReceiveText(
      std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
    const std::string header = FSocket.ReceiveExactly(2, ADeadline);
    if (header.size() < 2) return std::nullopt;
    if (uint8_t(header[0]) != 0x81) throw std::runtime_error("unexpected first byte");
    uint64_t length = uint8_t(header[1]) & 0x7F;
    if (length == 126) {
      const std::string ext = FSocket.ReceiveExactly(2);
      length = (uint8_t(ext[0]) << 8) | uint8_t(ext[1]);
    } else if (length == 127) {
      const std::string ext = FSocket.ReceiveExactly(8);
      length = 0;
      for (char c : ext) length = (length << 8) | uint8_t(c);
    }
    const std::string payload = FSocket.ReceiveExactly(length);
    if (payload.size() != length) return std::nullopt;
    return payload;
  }

  bool NothingWithin(std::chrono::milliseconds AQuiet) { return FSocket.NothingWithin(AQuiet); }
  bool WaitForClose() { return FSocket.WaitForClose(); }
  TLoopbackClient& Socket() { return FSocket; }

  // A masked client frame with the given first byte, in the shortest length form.
  static std::string Frame(uint8_t AFirst, const std::string& APayload) {
    const char key[4] = {0x37, 0x42, 0x19, 0x5C};
    std::string frame(1, char(AFirst));
    const size_t n = APayload.size();
    if (n <= 125) {
      frame.push_back(char(0x80 | n));
    } else if (n <= 0xFFFF) {
      frame += {char(0xFE), char(n >> 8), char(n & 0xFF)};
    } else {
      frame.push_back(char(0xFF));
      for (int shift = 56; shift >= 0; shift -= 8)
        frame.push_back(char((uint64_t(n) >> shift) & 0xFF));
    }
    frame.append(key, 4);
    for (size_t i = 0; i < n; ++i) frame.push_back(char(APayload[i] ^ key[i % 4]));
    return frame;
  }

 private:
  TLoopbackClient FSocket;
};
