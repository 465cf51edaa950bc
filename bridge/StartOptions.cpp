#include "StartOptions.h"

#include <arpa/inet.h>

#include <algorithm>
#include <optional>

#include "PortText.h"
#include "Utf8Text.h"

namespace {

// Numeric addresses only: a host name could stand for several, or none, by the time the server
// binds. The text is kept in its canonical form, so that the same address given twice is seen.
TListenAddress ListenAddressOf(std::string_view AText) {
  std::string text(AText);
  if (text.size() > 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  unsigned char bytes[sizeof(in6_addr)];
  char canonical[INET6_ADDRSTRLEN];
  for (const auto& [family, version] : {std::pair{AF_INET, Id_IPv4}, {AF_INET6, Id_IPv6}}) {
    if (::inet_pton(family, text.c_str(), bytes) == 1 &&
        ::inet_ntop(family, bytes, canonical, sizeof canonical) != nullptr)
      return {FromUtf8(canonical), version};
  }
  throw EStartOptions("--listen: '" + std::string(AText) + "' is not an IPv4 or IPv6 address");
}

uint16_t PortOf(std::string_view AText) {
  try {
    return StrToPort(FromUtf8(std::string(AText)));
  } catch (const std::exception& e) {
    throw EStartOptions(std::string("--port: ") + e.what());
  }
}

}  // namespace

TStartOptions ParseStartOptions(std::span<const std::string_view> AArgs) {
  TStartOptions options;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string_view arg = AArgs[i];
    if (arg == "-h" || arg == "--help") {
      options.Help = true;
      continue;
    }
    if (arg == "--version") {
      options.Version = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      options.LeftForQt.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (name != "--port" && name != "--listen")
      throw EStartOptions("unknown option '" + std::string(name) + "'");
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos)
      value = arg.substr(equals + 1);
    else if (i + 1 < AArgs.size())
      value = AArgs[++i];
    if (!value)
      throw EStartOptions(std::string(name) +
                          (name == "--port" ? " needs a port number" : " needs an address"));
    if (name == "--port") {
      options.Port = PortOf(*value);
    } else {
      const TListenAddress address = ListenAddressOf(*value);
      if (std::find(options.Listen.begin(), options.Listen.end(), address) == options.Listen.end())
        options.Listen.push_back(address);
    }
  }
  return options;
}
