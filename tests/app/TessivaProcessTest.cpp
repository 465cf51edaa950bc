#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ChildProcess.h"
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
std::unique_ptr<TChildProcess> StartTessiva(const TTempDirectory& ARuntime) {
  return std::make_unique<TChildProcess>(TESSIVA_APP,
                                         std::map<std::string, std::optional<std::string>>{
                                             {"DISPLAY", std::nullopt},
                                             {"WAYLAND_DISPLAY", std::nullopt},
                                             {"QT_QPA_PLATFORM", std::nullopt},
                                             {"XDG_RUNTIME_DIR", ARuntime.Path},
                                         });
}

// Connects once the process listens; the start-up takes a moment.
std::unique_ptr<TLoopbackClient> ConnectWhenListening() {
  std::unique_ptr<TLoopbackClient> client;
  WaitFor([&] {
    try {
      client = std::make_unique<TLoopbackClient>(kPort);
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

}  // namespace
