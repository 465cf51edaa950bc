#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "MainThreadQueue.h"
#include "SensorCommandExecutor.h"
#include "SensorControlClient.h"
#include "SimulatedFPEngX.h"
#include "UniqueFd.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kAnswerTimeout = 20s;

sockaddr_un AddressOf(const std::string& APath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, APath.c_str(), APath.size() + 1);
  return address;
}

// A raw control connection: sends bytes as they are and reads answer lines.
class TRawClient {
 public:
  explicit TRawClient(const std::string& APath) : FSocket(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    const sockaddr_un address = AddressOf(APath);
    timeval timeout{20, 0};
    ::setsockopt(FSocket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    FConnected =
        ::connect(FSocket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  }

  bool Connected() const { return FConnected; }
  void Send(const std::string& AData) {
    ASSERT_EQ(::send(FSocket.Get(), AData.data(), AData.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(AData.size()));
  }
  void FinishSending() { ::shutdown(FSocket.Get(), SHUT_WR); }

  // Up to ACount lines; fewer when the server closes the connection or stays silent.
  std::vector<std::string> ReadLines(std::size_t ACount) {
    std::vector<std::string> lines;
    while (lines.size() < ACount) {
      const auto end = FBuffer.find('\n');
      if (end != std::string::npos) {
        lines.push_back(FBuffer.substr(0, end));
        FBuffer.erase(0, end + 1);
        continue;
      }
      char chunk[512];
      const ssize_t received = ::recv(FSocket.Get(), chunk, sizeof(chunk), 0);
      if (received <= 0) break;
      FBuffer.append(chunk, static_cast<std::size_t>(received));
    }
    return lines;
  }

  // True once the server has closed its end; a reset counts, as the server dropped unread data.
  bool ClosedByServer() {
    char byte;
    const ssize_t received = ::recv(FSocket.Get(), &byte, 1, 0);
    return received == 0 || (received < 0 && errno == ECONNRESET);
  }

 private:
  TUniqueFd FSocket;
  bool FConnected = false;
  std::string FBuffer;
};

class SensorControlSocketTest : public ::testing::Test {
 protected:
  std::string Ask(const std::string& ACommand) {
    return WhileServing(Queue, [&] { return SendSensorCommand(Path, ACommand, kAnswerTimeout); });
  }

  TTempDir Dir;
  const std::string Path = Dir.File("sensor.sock");
  TLoopMainThreadQueue Queue;
};

TEST_F(SensorControlSocketTest, TouchIsAnsweredOnceItsEventsHaveBeenRaised) {
  TSimulatedFPEngX engine(Queue, Path);
  TEventRecorder recorder(engine);
  EXPECT_EQ(Ask("touch 5"), "error engine not initialised");
  ASSERT_EQ(engine.InitEngine(), 0);
  EXPECT_EQ(Ask("status"), "ok plugged=yes engine=on enrolling=no due=0 capturing=yes");

  std::size_t eventsAtAnswer = 0;
  const std::string answer = WhileServing(Queue, [&] {
    std::string reply = SendSensorCommand(Path, "touch 5 72", kAnswerTimeout);
    eventsAtAnswer = recorder.Events().size();
    return reply;
  });
  EXPECT_EQ(answer, "ok captured quality=72 class=good");
  EXPECT_EQ(eventsAtAnswer, 2u);

  engine.BeginEnroll();
  EXPECT_EQ(Ask("touch 5 30"), "ok enroll press not counted quality=30 class=poor due=3");
  EXPECT_EQ(Ask("touch 5"), "ok enroll press counted quality=80 class=good due=2");
  EXPECT_EQ(Ask("status"), "ok plugged=yes engine=on enrolling=yes due=2 capturing=no");
  EXPECT_TRUE(Ask("touch 6 90 suspicious").starts_with("ok enroll press not counted"));
  EXPECT_TRUE(Ask("touch 6").starts_with("ok enroll failed"));
}

TEST_F(SensorControlSocketTest, MalformedLinesGetErrorsAndTheConnectionStaysUsable) {
  TSimulatedFPEngX engine(Queue, Path);
  const std::vector<std::string> lines = {
      "status",      "",         "bogus",  "touch",   "touch 0", "\x01\x02\xff",
      "touch 3 101", "unplug\r", "status", "touch 1", "plug",    "help"};
  const auto answers = WhileServing(Queue, [&] {
    TRawClient client(Path);
    std::string batch;
    for (const auto& line : lines) batch += line + "\n";
    client.Send(batch);
    client.FinishSending();  // the server answers everything, then closes
    return client.ReadLines(lines.size() + 1);
  });
  ASSERT_EQ(answers.size(), lines.size());
  EXPECT_EQ(answers[0], "ok plugged=yes engine=off enrolling=no due=0 capturing=no");
  for (std::size_t i = 1; i <= 6; ++i) EXPECT_TRUE(answers[i].starts_with("error ")) << answers[i];
  EXPECT_EQ(answers[7], "ok unplugged");
  EXPECT_TRUE(answers[8].starts_with("ok plugged=no")) << answers[8];
  EXPECT_EQ(answers[9], "error sensor unplugged");
  EXPECT_EQ(answers[10], "ok plugged");
  EXPECT_TRUE(answers[11].starts_with("ok commands:")) << answers[11];
}

TEST_F(SensorControlSocketTest, OverlongLineIsRefusedAndUnterminatedLastLineAnswered) {
  TSimulatedFPEngX engine(Queue, Path);
  {
    TRawClient client(Path);
    client.Send(std::string(4000, 'a'));
    EXPECT_EQ(client.ReadLines(2), std::vector<std::string>{"error line too long"});
    EXPECT_TRUE(client.ClosedByServer());
  }
  TRawClient client(Path);
  client.Send("status");
  client.FinishSending();
  const auto answers = client.ReadLines(2);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(answers[0].starts_with("ok plugged=yes"));
}

TEST_F(SensorControlSocketTest, SeveralClientsAtOnce) {
  TSimulatedFPEngX engine(Queue, Path);
  ASSERT_EQ(engine.InitEngine(), 0);
  constexpr int kClients = 6;
  const auto answers = WhileServing(Queue, [&] {
    std::vector<std::string> replies(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.emplace_back([&, i] {
        replies[i] = SendSensorCommand(Path, "touch " + std::to_string(i + 1), kAnswerTimeout);
      });
    }
    for (auto& client : clients) client.join();
    return replies;
  });
  for (const auto& answer : answers) EXPECT_EQ(answer, "ok captured quality=80 class=good");
}

TEST_F(SensorControlSocketTest, SocketFileLivesAsLongAsTheEngine) {
  const std::string nested = Dir.File("run/sensor.sock");
  {
    TSimulatedFPEngX engine(Queue, nested);
    struct stat info {};
    ASSERT_EQ(::lstat(Dir.File("run").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat(nested.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u);
  }
  struct stat info {};
  EXPECT_NE(::lstat(nested.c_str(), &info), 0);
  EXPECT_THROW(SendSensorCommand(nested, "status", kAnswerTimeout), ESensorControlUnavailable);
}

TEST_F(SensorControlSocketTest, StaleSocketFileIsReplaced) {
  {
    const TUniqueFd dead(::socket(AF_UNIX, SOCK_STREAM, 0));
    const sockaddr_un address = AddressOf(Path);
    ASSERT_EQ(::bind(dead.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  }
  TSimulatedFPEngX engine(Queue, Path);
  EXPECT_TRUE(Ask("status").starts_with("ok plugged=yes"));
}

TEST_F(SensorControlSocketTest, LiveListenerIsNotStolen) {
  TSimulatedFPEngX first(Queue, Path);
  try {
    TSimulatedFPEngX second(Queue, Path);
    ADD_FAILURE() << "a second engine took over a live control socket";
  } catch (const EOleException& error) {
    EXPECT_NE(std::string(error.what()).find("already listening"), std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(Ask("status").starts_with("ok plugged=yes"));
}

TEST_F(SensorControlSocketTest, PathThatIsNotASocketIsLeftAlone) {
  std::ofstream(Path) << "keep me";
  EXPECT_THROW(TSimulatedFPEngX(Queue, Path), EOleException);
  std::string content;
  std::getline(std::ifstream(Path), content);
  EXPECT_EQ(content, "keep me");
}

// Tells the test when the engine has queued a procedure for the main thread.
class TWatchedQueue : public IMainThreadQueue {
 public:
  void Queue(std::function<void()> AProc) override {
    Inner.Queue(std::move(AProc));
    {
      std::lock_guard lock(FLock);
      FQueued = true;
    }
    FChanged.notify_all();
  }
  bool WaitForQueued() {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, 20s, [&] { return FQueued; });
  }

  TLoopMainThreadQueue Inner;

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FQueued = false;
};

TEST_F(SensorControlSocketTest, DestroyingTheEngineReleasesAWaitingClient) {
  TWatchedQueue queue;
  auto engine = std::make_unique<TSimulatedFPEngX>(queue, Path);
  ASSERT_EQ(engine->InitEngine(), 0);
  std::string answer;
  std::thread client([&] { answer = SendSensorCommand(Path, "touch 1", kAnswerTimeout); });
  ASSERT_TRUE(queue.WaitForQueued());
  engine.reset();  // on the main thread, which the client's touch is waiting for
  client.join();
  EXPECT_EQ(answer, "error engine shutting down");
  queue.Inner.ProcessPending();  // the orphaned touch finds the engine gone
}

TEST_F(SensorControlSocketTest, BusyMainThreadIsReported) {
  TSimulatedFPEngX engine(Queue, "");
  ASSERT_EQ(engine.InitEngine(), 0);
  std::string answer;
  std::thread client([&] { answer = ExecuteSensorCommand(engine, "touch 1", {}, 50ms); });
  client.join();
  EXPECT_EQ(answer, "error main thread busy");
  // The touch is still processed once the main thread gets to it, with nobody waiting.
  Queue.ProcessPending();
  EXPECT_EQ(engine.LastQuality(), 80);
}

TEST(SensorSocketPathTest, FollowsTheRuntimeDirectory) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> original =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  const std::string fallback = "/tmp/tessiva-" + std::to_string(::getuid()) + "/sensor.sock";

  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(DefaultSensorSocketPath(), "/run/user/4242/tessiva/sensor.sock");
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(DefaultSensorSocketPath(), fallback);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(DefaultSensorSocketPath(), fallback);

  if (original) ::setenv("XDG_RUNTIME_DIR", original->c_str(), 1);
}

}  // namespace
