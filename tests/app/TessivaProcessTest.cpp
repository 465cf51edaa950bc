#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ChildProcess.h"
#include "FreePort.h"
#include "LoopbackClient.h"

namespace {

constexpr uint16_t kPort = 9090;

// A private runtime directory, so that the sensor's control socket cannot meet a running
// instance of the user's.
class TTempDirectory {
 public:
  TTempDirectory() {
    char pattern[] = "/tmp/tessiva-process-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    Path = pattern;
  }
  ~TTempDirectory() { std::filesystem::remove_all(Path); }
  std::string Path;
};

// The environment of `make run` without a display: Qt's platform is not chosen by anyone.
std::unique_ptr<TChildProcess> StartTessiva(const TTempDirectory& ARuntime,
                                            std::vector<std::string> AArguments = {}) {
  return std::make_unique<TChildProcess>(TESSIVA_APP,
                                         std::map<std::string, std::optional<std::string>>{
                                             {"DISPLAY", std::nullopt},
                                             {"WAYLAND_DISPLAY", std::nullopt},
                                             {"QT_QPA_PLATFORM", std::nullopt},
                                             {"XDG_RUNTIME_DIR", ARuntime.Path},
                                         },
                                         std::move(AArguments));
}

// Connects once the process listens; the start-up takes a moment.
std::unique_ptr<TLoopbackClient> ConnectWhenListening(uint16_t APort = kPort) {
  std::unique_ptr<TLoopbackClient> client;
  WaitFor([&] {
    try {
      client = std::make_unique<TLoopbackClient>(APort);
    } catch (const std::runtime_error&) {
    }
    return client != nullptr;
  });
  return client;
}

void ExpectCleanExit(TChildProcess& AProcess) {
  const std::optional<int> status = AProcess.WaitForExit();
  ASSERT_TRUE(status.has_value()) << "still running";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << "wait status " << *status << "\nstderr:\n"
      << AProcess.Err;
}

class TessivaProcessTest : public ::testing::TestWithParam<int> {};

TEST_P(TessivaProcessTest, HeadlessRunLogsToStdoutAndTheSignalClosesLikeTheWindow) {
  TTempDirectory runtime;
  auto tessiva = StartTessiva(runtime);
  auto client = ConnectWhenListening();
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(tessiva->WaitForOutput("Client Connected\n")) << tessiva->Out;
  EXPECT_TRUE(tessiva->WaitForOutput("Port=9090 (PeerIP=127.0.0.1")) << tessiva->Out;

  tessiva->Signal(GetParam());
  ExpectCleanExit(*tessiva);
  EXPECT_TRUE(client->WaitForClose());
  EXPECT_NE(tessiva->Out.find("Client disconnected"), std::string::npos) << tessiva->Out;
  // Nothing went wrong, so nothing is on standard error: no notices from Qt either.
  EXPECT_EQ(tessiva->Err, "");
}

INSTANTIATE_TEST_SUITE_P(Signals, TessivaProcessTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                           return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

// A second instance finds the port (and the sensor socket) taken: without a display nobody would
// see an error box, so it says why in one line on standard error and ends with a failure status,
// while the first goes on serving.
TEST(TessivaSecondInstanceTest, AStartUpThatCannotListenSaysWhyAndFails) {
  TTempDirectory runtime;
  auto first = StartTessiva(runtime);
  ASSERT_NE(ConnectWhenListening(), nullptr);

  auto second = StartTessiva(runtime);
  const std::optional<int> status = second->WaitForExit();
  ASSERT_TRUE(status.has_value()) << "the second instance still runs";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << "wait status " << *status;
  EXPECT_EQ(second->Err, "tessiva: port 9090 is already in use: is another Tessiva running?\n");

  EXPECT_NE(ConnectWhenListening(), nullptr);
  first->Signal(SIGTERM);
  ExpectCleanExit(*first);
}

// Options the program refuses end it before the bridge starts, with one line saying why and
// status 2; help ends it at once with status 0.
TEST(TessivaOptionsTest, HelpAndRefusedOptionsEndTheProgramBeforeTheBridgeStarts) {
  const std::string tryHelp = "\nTry 'tessiva --help'.\n";
  const struct {
    std::vector<std::string> Args;
    int Status;
    std::string Err;
  } cases[] = {
      {{"-h"}, 0, ""},
      {{"--help"}, 0, ""},
      {{"--port", "9091", "--help"}, 0, ""},
      {{"--bogus"}, 2, "tessiva: unknown option '--bogus'" + tryHelp},
      {{"--port", "abc"}, 2, "tessiva: --port: 'abc' is not a valid integer value" + tryHelp},
      {{"--port", "70000"}, 2, "tessiva: --port: Range check error" + tryHelp},
      {{"--listen", "localhost"},
       2,
       "tessiva: --listen: 'localhost' is not an IPv4 or IPv6 address" + tryHelp},
      // Left to Qt, which does not know them either.
      {{"stray"}, 2, "tessiva: unknown option or argument 'stray'" + tryHelp},
      {{"-nosuchqtoption"}, 2, "tessiva: unknown option or argument '-nosuchqtoption'" + tryHelp},
  };
  TTempDirectory runtime;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Args));
    auto tessiva = StartTessiva(runtime, c.Args);
    const std::optional<int> status = tessiva->WaitForExit();
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == c.Status)
        << "wait status " << *status;
    EXPECT_EQ(tessiva->Err, c.Err);
    if (c.Status == 0)
      EXPECT_TRUE(tessiva->Out.starts_with("usage: tessiva [--port N] [--listen ADDRESS]..."))
          << tessiva->Out;
    else
      EXPECT_EQ(tessiva->Out, "");
  }
}

// --port and --listen: the bridge listens there only, and says so.
TEST(TessivaOptionsTest, PortAndListenChooseWhereTheBridgeListens) {
  TTempDirectory runtime;
  const uint16_t port = FreeLoopbackPort();
  auto tessiva = StartTessiva(
      runtime, {"--listen", "127.0.0.1", "--port", std::to_string(port), "-platform", "offscreen"});
  auto client = ConnectWhenListening(port);
  ASSERT_NE(client, nullptr) << tessiva->Err;
  EXPECT_TRUE(tessiva->WaitForOutput(" listening on 127.0.0.1:" + std::to_string(port) + "\n"))
      << tessiva->Out;
  tessiva->Signal(SIGTERM);
  ExpectCleanExit(*tessiva);
}

}  // namespace
