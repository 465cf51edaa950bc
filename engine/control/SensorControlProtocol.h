#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "SimulatedSensorState.h"

// The simulated sensor's control protocol: one text line per command, one line of answer
// beginning with "ok" or "error <reason>".
//
//   touch FINGER [QUALITY] [suspicious]   FINGER a positive integer, QUALITY 0..100 (default 80)
//   unplug | plug | status | help
//
// Words are separated by spaces or tabs; a trailing carriage return is ignored.

inline constexpr int32_t kDefaultTouchQuality = 80;

struct TTouchCommand {
  int32_t Finger = 0;
  int32_t Quality = kDefaultTouchQuality;
  bool Suspicious = false;
  bool operator==(const TTouchCommand&) const = default;
};
struct TPlugCommand {
  bool Plugged = true;
  bool operator==(const TPlugCommand&) const = default;
};
struct TStatusCommand {
  bool operator==(const TStatusCommand&) const = default;
};
struct THelpCommand {
  bool operator==(const THelpCommand&) const = default;
};
struct TMalformedCommand {
  std::string Reason;
  bool operator==(const TMalformedCommand&) const = default;
};

using TSensorCommand =
    std::variant<TTouchCommand, TPlugCommand, TStatusCommand, THelpCommand, TMalformedCommand>;

TSensorCommand ParseSensorCommand(std::string_view ALine);

std::string ErrorAnswer(std::string_view AReason);
std::string TouchAnswer(const TTouchResult& AResult);
std::string StatusAnswer(const TSensorStatus& AStatus);
std::string PlugAnswer(bool APlugged);
std::string HelpAnswer();
