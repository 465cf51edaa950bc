#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "MainThreadQueue.h"
#include "SimulatedFPEngX.h"
#include "UniqueFd.h"
#include "UnixSocketListener.h"

extern char** environ;

namespace {

struct TToolRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

std::string ReadAll(int AFd) {
  std::string text;
  char chunk[512];
  ssize_t received;
  while ((received = ::read(AFd, chunk, sizeof(chunk))) > 0) {
    text.append(chunk, static_cast<std::size_t>(received));
  }
  return text;
}

// Runs tessiva-sensor with AArgs, and AEnvironment ("NAME=value") added to this process's
// environment, and collects its output and exit status.
TToolRun RunTool(const std::vector<std::string>& AArgs,
                 const std::vector<std::string>& AEnvironment = {}) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  TUniqueFd outRead(out[0]), outWrite(out[1]), errRead(err[0]), errWrite(err[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> words{TESSIVA_SENSOR_TOOL};
  words.insert(words.end(), AArgs.begin(), AArgs.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = AEnvironment;
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  for (char** entry = environ; *entry; ++entry) envp.push_back(*entry);
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, TESSIVA_SENSOR_TOOL, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {};
  outWrite.Reset();
  errWrite.Reset();
  TToolRun run;
  run.Out = ReadAll(outRead.Get());
  run.Err = ReadAll(errRead.Get());
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.ExitCode = WEXITSTATUS(status);
  return run;
}

class SensorToolTest : public ::testing::Test {
 protected:
  TToolRun Run(const std::vector<std::string>& AArgs) {
    return WhileServing(Queue, [&] { return RunTool(AArgs); });
  }

  TTempDir Dir;
  const std::string Path = Dir.File("sensor.sock");
  TLoopMainThreadQueue Queue;
  TSimulatedFPEngX Engine{Queue, Path};
  TEventRecorder Recorder{Engine};
};

TEST_F(SensorToolTest, OkAnswerIsPrintedAndExitsZero) {
  ASSERT_EQ(Engine.InitEngine(), 0);
  const TToolRun run = Run({"--socket", Path, "touch", "3", "72"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, "ok captured quality=72 class=good\n");
  EXPECT_EQ(Recorder.Events().size(), 2u);
}

TEST_F(SensorToolTest, ErrorAnswerExitsOne) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--socket", Path, "touch", "3"}, {"--socket", Path, "touch", "3", "9"}}) {
    const TToolRun run = Run(args);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.starts_with("error ")) << run.Out;
  }
}

TEST_F(SensorToolTest, NoEngineOrNoCommandExitsTwo) {
  const TToolRun unreachable = Run({"--socket", Dir.File("missing.sock"), "status"});
  EXPECT_EQ(unreachable.ExitCode, 2);
  EXPECT_EQ(unreachable.Out, "");
  EXPECT_NE(unreachable.Err.find("cannot connect"), std::string::npos) << unreachable.Err;

  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"--socket", Path}, {"--socket"}}) {
    const TToolRun usage = Run(args);
    EXPECT_EQ(usage.ExitCode, 2);
    EXPECT_NE(usage.Err.find("usage"), std::string::npos) << usage.Err;
  }
}

// Bad usage exits 2 and an unusable image file 1, as the help says, each with one line on
// standard error that names the reason; the sensor is never asked.
TEST_F(SensorToolTest, RefusedCommandsSayWhyWithTheExitStatusOfTheHelp) {
  ASSERT_EQ(Engine.InitEngine(), 0);
  std::ofstream(Dir.File("text.png")) << "not an image\n";
  const std::string hint = " (tessiva-sensor --help)\n";
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Err;  // empty: the usage text
  } cases[] = {
      {{"touch", "abc"}, 2, "tessiva-sensor: finger must be a positive integer" + hint},
      {{"touch", "0"}, 2, "tessiva-sensor: finger must be a positive integer" + hint},
      {{"touch"}, 2, "tessiva-sensor: touch needs a finger number" + hint},
      {{"touch", "3", "101"}, 2, "tessiva-sensor: quality must be an integer from 0 to 100" + hint},
      {{"touch", "3", "80", "x"}, 2, "tessiva-sensor: unexpected words after touch" + hint},
      {{"status", "now"}, 2, "tessiva-sensor: unexpected words after status" + hint},
      {{"squeeze"}, 2, "tessiva-sensor: unknown command, try help" + hint},
      {{"--port", "abc", "status"}, 2, ""},
      {{"--port", "70000", "status"}, 2, ""},
      {{"--port"}, 2, ""},
      {{"press"}, 2, "tessiva-sensor: usage: press FILE | press-synthetic FINGER [IMPRESSION]\n"},
      {{"press-synthetic", "x"},
       2,
       "tessiva-sensor: usage: press FILE | press-synthetic FINGER [IMPRESSION]\n"},
      {{"press", Dir.File("missing.png")},
       1,
       "tessiva-sensor: cannot open " + Dir.File("missing.png") + ": No such file or directory\n"},
      {{"press", Dir.File("text.png")},
       1,
       "tessiva-sensor: " + Dir.File("text.png") + ": not a PNG or PGM image\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Args));
    std::vector<std::string> args{"--socket", Path};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TToolRun run = Run(args);
    EXPECT_EQ(run.ExitCode, c.ExitCode);
    EXPECT_EQ(run.Out, "");
    if (c.Err.empty())
      EXPECT_TRUE(run.Err.starts_with("usage: tessiva-sensor")) << run.Err;
    else
      EXPECT_EQ(run.Err, c.Err);
  }
  EXPECT_TRUE(Recorder.Events().empty());
}

// A loopback port that was free a moment ago: bound, read back, closed.
uint16_t UnusedLoopbackPort() {
  const TUniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// Waits up to 20 s for AFd to be readable.
bool Readable(int AFd) {
  pollfd ready{AFd, POLLIN, 0};
  return ::poll(&ready, 1, 20000) == 1;
}

// libfprint's virtual image reader as tessiva-sensor sees it: a socket that takes one press.
class TFakeVirtualReader {
 public:
  explicit TFakeVirtualReader(std::string APath) : FListener(std::move(APath)) {
    FThread = std::thread([this] {
      if (!Readable(FListener.Fd())) return;
      const TUniqueFd press(::accept4(FListener.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
      char chunk[65536];
      ssize_t got;
      while (Readable(press.Get()) && (got = ::read(press.Get(), chunk, sizeof chunk)) > 0)
        FReceived += static_cast<size_t>(got);
    });
  }
  ~TFakeVirtualReader() {
    FThread.join();
    EXPECT_GT(FReceived, 0u) << "no press arrived";
  }

 private:
  TUnixSocketListener FListener;
  size_t FReceived = 0;
  std::thread FThread;
};

// A bridge as a page sees it: accepts one WebSocket client and broadcasts AFrames to it.
class TFakeBridge {
 public:
  explicit TFakeBridge(std::vector<std::string> AFrames) {
    FListener = TUniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(FListener.Get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(FListener.Get(), 1), 0);
    ::getsockname(FListener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    Port = ntohs(address.sin_port);
    FThread = std::thread([this, frames = std::move(AFrames)] {
      if (!Readable(FListener.Get())) return;
      const TUniqueFd page(::accept4(FListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      std::string request;
      char chunk[1024];
      ssize_t got;
      while (request.find("\r\n\r\n") == std::string::npos && Readable(page.Get()) &&
             (got = ::read(page.Get(), chunk, sizeof chunk)) > 0)
        request.append(chunk, static_cast<size_t>(got));
      std::string reply = "HTTP/1.1 101 Switching Protocols\r\n\r\n";
      for (const std::string& frame : frames) reply += frame;
      ::send(page.Get(), reply.data(), reply.size(), MSG_NOSIGNAL);
      // Open until the page leaves.
      while (Readable(page.Get()) && ::read(page.Get(), chunk, sizeof chunk) > 0) {
      }
    });
  }
  ~TFakeBridge() { FThread.join(); }
  uint16_t Port = 0;

 private:
  TUniqueFd FListener;
  std::thread FThread;
};

// An unmasked server frame: opcode and FIN as given, the length in the shortest form.
std::string Frame(const std::string& APayload, uint8_t AOpcode = 0x1, bool AFinal = true) {
  std::string frame(1, static_cast<char>((AFinal ? 0x80 : 0) | AOpcode));
  if (APayload.size() < 126) {
    frame.push_back(static_cast<char>(APayload.size()));
  } else {
    frame.push_back(126);
    frame.push_back(static_cast<char>(APayload.size() >> 8));
    frame.push_back(static_cast<char>(APayload.size() & 0xFF));
  }
  return frame + APayload;
}

// A "Finger Scan Info" broadcast as the bridge writes it: longer than 125 bytes.
std::string ScanInfo(const std::string& AMessage) {
  return R"({"event":"Finger Scan Info","status":"success","message":")" + AMessage +
         R"(","quality":83,"state":"s","sensor_count":1,"sensor_index":0,"sensor_SN":"virtual_image:0","mode":"identify"})";
}

// "press" prints the quality line the bridge broadcast for the press, found among its other
// messages, or says why it cannot know it; the press is delivered either way.
TEST(SensorToolPressTest, PrintsTheBridgesQualityLineOrWhyItIsUnknown) {
  const struct {
    const char* Name;
    std::vector<std::string> Frames;  // empty: no bridge listens
    std::string Out;
  } cases[] = {
      {"scan info among other messages",
       {Frame(R"({"event":"Verify","status":"","message":""})"), Frame("not json"),
        Frame(ScanInfo(" Fingerprint quality good, quality=83"))},
       "ok Fingerprint quality good, quality=83\n"},
      {"in fragments, while enrolling",
       {Frame(ScanInfo("Register status: press finger 2 more time(s) Fingerprint quality good, "
                       "quality=83")
                  .substr(0, 40),
              0x1, false),
        Frame(ScanInfo("Register status: press finger 2 more time(s) Fingerprint quality good, "
                       "quality=83")
                  .substr(40),
              0x0)},
       "ok Register status: press finger 2 more time(s) Fingerprint quality good, quality=83\n"},
      {"the bridge closes first",
       {Frame("", 0x8)},
       "ok pressed; what Tessiva made of it is unknown: no Finger Scan Info within 30 s (is it "
       "initialised?)\n"},
      {"no bridge", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string readerPath = dir.File("virtual-image.sock");
    std::optional<TFakeBridge> bridge;
    uint16_t port = UnusedLoopbackPort();
    if (!c.Frames.empty()) port = bridge.emplace(c.Frames).Port;
    TToolRun run;
    {
      TFakeVirtualReader reader(readerPath);
      run = RunTool({"--port", std::to_string(port), "press-synthetic", "3"},
                    {"FP_VIRTUAL_IMAGE=" + readerPath});
      EXPECT_EQ(run.ExitCode, 0) << run.Err;
      EXPECT_EQ(run.Err, "");
    }
    EXPECT_EQ(run.Out, c.Out.empty() ? "ok pressed; what Tessiva made of it is unknown: no bridge "
                                       "at ws://localhost:" +
                                           std::to_string(port) + " (Connection refused)\n"
                                     : c.Out);
  }
}

}  // namespace
