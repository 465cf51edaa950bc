#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ListenAddress.h"

// A command line the bridge cannot start with; the message says why, without the program name.
class EStartOptions : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bridge's start-up options. Arguments that do not start with "--", other than "-h" (Qt's
// own options such as "-platform offscreen", and their values), are left for Qt, in order.
struct TStartOptions {
  bool Help = false;
  bool Version = false;
  uint16_t Port = 9090;
  // Empty: every interface, IPv4 and IPv6.
  std::vector<TListenAddress> Listen;
  std::vector<std::string_view> LeftForQt;
};

// AArgs without the program name. "--port N" takes the port box's numbers and messages;
// "--listen ADDRESS" (repeatable) a numeric IPv4 or IPv6 address, brackets allowed; both also
// as "--option=value". Raises EStartOptions.
TStartOptions ParseStartOptions(std::span<const std::string_view> AArgs);
