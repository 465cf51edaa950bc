#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "UniqueFd.h"

class EBridgeUnreachable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A silent page on a running bridge's WebSocket (loopback, 127.0.0.1 then ::1), which hears
// every message the bridge broadcasts: tessiva-sensor learns from it what the bridge made of a
// press it delivered around the bridge, straight to the reader.
class TBridgeScanListener {
 public:
  // Raises EBridgeUnreachable when no bridge answers the opening handshake in time.
  TBridgeScanListener(uint16_t APort, std::chrono::milliseconds ATimeout);

  // The "message" of the next "Finger Scan Info" broadcast, or nothing by ADeadline (or when the
  // bridge closes the connection).
  std::optional<std::string> NextScanMessage(std::chrono::steady_clock::time_point ADeadline);

 private:
  std::optional<std::string> NextText(std::chrono::steady_clock::time_point ADeadline);
  // Appends what arrives before ADeadline; false at the deadline or the end of the stream.
  bool Receive(std::chrono::steady_clock::time_point ADeadline);
  // Receives until ACount bytes are pending; false when they do not come.
  bool Have(size_t ACount, std::chrono::steady_clock::time_point ADeadline);

  TUniqueFd FSocket;
  std::string FPending;
};
