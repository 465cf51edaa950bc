#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StartOptions.h"
#include "Utf8Text.h"

namespace {

TStartOptions Parse(const std::vector<std::string_view>& AArgs) {
  return ParseStartOptions(AArgs);
}

// "IP/4" or "IP/6" for each address, in order.
std::vector<std::string> Addresses(const TStartOptions& AOptions) {
  std::vector<std::string> texts;
  for (const TListenAddress& address : AOptions.Listen)
    texts.push_back(ToUtf8(address.IP) + (address.IPVersion == Id_IPv6 ? "/6" : "/4"));
  return texts;
}

TEST(StartOptions, WithoutArgumentsTheDefaultsHold) {
  const TStartOptions options = Parse({});
  EXPECT_FALSE(options.Help);
  EXPECT_FALSE(options.Version);
  EXPECT_EQ(options.Port, 9090);
  EXPECT_TRUE(options.Listen.empty());
  EXPECT_TRUE(options.LeftForQt.empty());
}

TEST(StartOptions, AcceptedCommandLines) {
  const struct {
    std::vector<std::string_view> Args;
    uint16_t Port;
    std::vector<std::string> Listen;
  } cases[] = {
      {{"--port", "9091"}, 9091, {}},
      {{"--port=9091"}, 9091, {}},
      {{"--port", "$2383"}, 9091, {}},
      {{"--port", "  0"}, 0, {}},
      {{"--port", "65535"}, 65535, {}},
      {{"--port", "9091", "--port", "9092"}, 9092, {}},
      {{"--listen", "127.0.0.1"}, 9090, {"127.0.0.1/4"}},
      {{"--listen=::1"}, 9090, {"::1/6"}},
      {{"--listen", "[::1]"}, 9090, {"::1/6"}},
      {{"--listen", "0:0:0:0:0:0:0:1"}, 9090, {"::1/6"}},
      {{"--listen", "127.0.0.1", "--listen", "::1", "--port", "8080"},
       8080,
       {"127.0.0.1/4", "::1/6"}},
      {{"--listen", "::1", "--listen", "[0::1]", "--listen", "127.0.0.1", "--listen", "127.0.0.1"},
       9090,
       {"::1/6", "127.0.0.1/4"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Args));
    const TStartOptions options = Parse(c.Args);
    EXPECT_EQ(options.Port, c.Port);
    EXPECT_EQ(Addresses(options), c.Listen);
    EXPECT_FALSE(options.Help);
    EXPECT_TRUE(options.LeftForQt.empty());
  }
}

TEST(StartOptions, RejectedCommandLinesSayWhy) {
  const struct {
    std::vector<std::string_view> Args;
    std::string Error;
  } cases[] = {
      {{"--port", "abc"}, "--port: 'abc' is not a valid integer value"},
      {{"--port="}, "--port: '' is not a valid integer value"},
      {{"--port", "9091 "}, "--port: '9091 ' is not a valid integer value"},
      {{"--port", "65536"}, "--port: Range check error"},
      {{"--port", "-1"}, "--port: Range check error"},
      {{"--port"}, "--port needs a port number"},
      {{"--listen"}, "--listen needs an address"},
      {{"--listen", "localhost"}, "--listen: 'localhost' is not an IPv4 or IPv6 address"},
      {{"--listen", "127.0.0.256"}, "--listen: '127.0.0.256' is not an IPv4 or IPv6 address"},
      {{"--listen="}, "--listen: '' is not an IPv4 or IPv6 address"},
      {{"--listen", "[127.0.0.1"}, "--listen: '[127.0.0.1' is not an IPv4 or IPv6 address"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--help=yes"}, "unknown option '--help'"},
      {{"--ports=1"}, "unknown option '--ports'"},
      {{"--"}, "unknown option '--'"},
      {{"--port", "9091", "--listen", "::1", "--verbose"}, "unknown option '--verbose'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Args));
    try {
      Parse(c.Args);
      ADD_FAILURE() << "accepted";
    } catch (const EStartOptions& e) {
      EXPECT_EQ(e.what(), c.Error);
    }
  }
}

TEST(StartOptions, HelpAndVersionAreAnsweredWhateverElseIsGiven) {
  for (const auto& args : std::vector<std::vector<std::string_view>>{
           {"-h"}, {"--help"}, {"--port", "1", "-h"}, {"-platform", "offscreen", "--help"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_TRUE(Parse(args).Help);
  }
  EXPECT_TRUE(Parse({"--version"}).Version);
}

// Qt's options, with their values, reach Qt in their order; the program refuses what Qt leaves.
TEST(StartOptions, SingleDashArgumentsAndTheirValuesAreLeftForQt) {
  const TStartOptions options =
      Parse({"-platform", "offscreen", "--port", "9091", "-reverse", "stray"});
  EXPECT_EQ(options.LeftForQt,
            (std::vector<std::string_view>{"-platform", "offscreen", "-reverse", "stray"}));
  EXPECT_EQ(options.Port, 9091);
}

}  // namespace
