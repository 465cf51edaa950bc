#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DrainingReader.h"
#include "FreePort.h"
#include "LogView.h"
#include "RecordingErrorDisplay.h"
#include "VerifyLoad.h"
#include "WebSocketServer.h"
#include "WsSession.h"
#include "uMain.h"

namespace {

using ::testing::IsEmpty;

constexpr int kDeadlineMs = 20000;

// Counts the log's lines as they arrive, so that a log of many thousand lines is not read again
// on every poll.
class TLogCounter {
 public:
  explicit TLogCounter(TLogView& AView) : FView(AView) {}

  void Update() {
    for (; FScanned < FView.LineCount(); ++FScanned) {
      const QString line = FView.Line(FScanned);
      if (line.endsWith(QStringLiteral(": : Client Connected")))
        ++FConnects;
      else if (line.endsWith(QStringLiteral(": : Client disconnected")))
        ++FDisconnects;
      else if (line.contains(QStringLiteral(": : Port=")))
        FPortLines.push_back(line);
    }
  }
  int Connects() const { return FConnects; }
  int Disconnects() const { return FDisconnects; }
  bool HasPortLineEndingWith(const QString& AEnding) const {
    for (const QString& line : FPortLines)
      if (line.endsWith(AEnding)) return true;
    return false;
  }

 private:
  TLogView& FView;
  qsizetype FScanned = 0;
  int FConnects = 0;
  int FDisconnects = 0;
  QStringList FPortLines;
};

// Ends the process when a blocking step on the test's thread overruns a generous deadline, so
// that a hang fails with a message instead of stalling until ctest gives up.
class TWatchdog {
 public:
  TWatchdog(std::chrono::seconds ADeadline, const char* AStep)
      : FThread([this, ADeadline, AStep] {
          std::unique_lock lock(FLock);
          if (FDone.wait_for(lock, ADeadline, [this] { return FFinished; })) return;
          std::fprintf(stderr, "%s did not return within %lld s\n", AStep,
                       static_cast<long long>(ADeadline.count()));
          std::abort();
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard lock(FLock);
      FFinished = true;
    }
    FDone.notify_all();
    FThread.join();
  }

 private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FFinished = false;  // guarded by FLock
  std::thread FThread;
};

// Both ends of every loopback connection live in this process.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// A plain listening socket on 127.0.0.1 that holds a port, as another program would.
class TPortHolder {
 public:
  TPortHolder() {
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FFd < 0 || ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FFd, 4) != 0 ||
        ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot hold a port");
    FPort = ntohs(address.sin_port);
  }
  ~TPortHolder() { ::close(FFd); }
  TPortHolder(const TPortHolder&) = delete;
  TPortHolder& operator=(const TPortHolder&) = delete;
  uint16_t Port() const { return FPort; }

 private:
  int FFd = -1;
  uint16_t FPort = 0;
};

// True when a connection to AIPv4:APort is refused. Every 127.x.y.z address is loopback, so a
// server bound to 127.0.0.1 alone refuses 127.0.0.2 while a wildcard binding accepts it.
bool RefusesOn(const char* AIPv4, uint16_t APort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(APort);
  ::inet_pton(AF_INET, AIPv4, &address.sin_addr);
  const bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  ::close(fd);
  return refused;
}

std::string VerifyCommand(const std::string& AState) {
  return R"({"act":"verify","state":")" + AState + R"("})";
}

std::string StateMember(const std::string& AState) {
  return "\"state\":\"" + AState + "\"";
}

std::string Joined(const std::vector<std::string>& ATexts) {
  std::string text;
  for (size_t i = 0; i < ATexts.size() && i < 5; ++i) text += ATexts[i] + "\n";
  if (ATexts.size() > 5) text += "... and " + std::to_string(ATexts.size() - 5) + " more\n";
  return text;
}

// A client thread that sends verify commands with a state of ABytes, each as soon as the reply
// to the one before has arrived, until the server closes the connection.
class TBigCommandSender {
 public:
  TBigCommandSender(TWsSession& ASession, int AIndex, size_t ABytes)
      : FThread([this, &ASession, AIndex, ABytes](std::stop_token AStop) {
          Run(ASession, "big" + std::to_string(AIndex) + "-", ABytes, AStop);
        }) {}

  int Replies() const { return FReplies; }
  bool Ended() const { return FEnded; }
  std::string Failure() const {
    std::lock_guard lock(FLock);
    return FFailure;
  }

 private:
  void Run(TWsSession& ASession, const std::string& AName, size_t ABytes, std::stop_token AStop) {
    const std::string padding(ABytes, 'p');
    for (int n = 1; !AStop.stop_requested(); ++n) {
      const std::string tag = AName + std::to_string(n) + "-";
      if (!ASession.SendText(VerifyCommand(tag + padding))) break;
      std::string reply;
      const TWsWait got = ASession.FrameWith("\"state\":\"" + tag, reply);
      if (got == TWsWait::Closed) break;
      if (got != TWsWait::Done) {
        std::lock_guard lock(FLock);
        FFailure = got == TWsWait::TimedOut ? "no reply to " + tag : "malformed frame";
        break;
      }
      ++FReplies;
    }
    FEnded = true;
  }

  std::atomic<int> FReplies{0};
  std::atomic<bool> FEnded{false};
  mutable std::mutex FLock;
  std::string FFailure;  // guarded by FLock
  // Last: it runs against the fields above.
  std::jthread FThread;
};

// The window as main() builds it: the queue first, so that it outlives the window.
class WindowFaultTest : public ::testing::Test {
 protected:
  void Open(const std::u16string& AInitialPort) {
    Window = std::make_unique<TNq>(Queue, Errors,
                                   TNqOptions{.InitialPort = AInitialPort, .SensorSocketPath = ""});
    Log = std::make_unique<TLogCounter>(*Window->logLines);
  }

  TWebSocketServer& Server() const { return *Window->Bridge()->Server(); }
  // The IPv4 wildcard port the bridge listens on after start-up.
  uint16_t StartPort() const { return Server().Bindings()[0].Port; }

  // Types the port and clicks "Change".
  void Change(uint16_t APort) {
    Window->edPort->setText(QString::number(APort));
    QTest::mouseClick(Window->btStart, Qt::LeftButton);
  }

  // Runs the event loop until APredicate holds: connection threads queue their log lines and
  // count updates to this thread.
  template <class Pred>
  static bool Pump(Pred APredicate) {
    return QTest::qWaitFor(APredicate, kDeadlineMs);
  }

  bool CountShows(int ACount) const {
    return Window->clients_connected->text() == QString::number(ACount);
  }

  // A new client gets its reply on APort, is logged with its own address and is counted on top of
  // the AOthers clients already there. It is gone when this returns.
  void ExpectAFreshClientIsServed(uint16_t APort, int AOthers, const std::string& AState) {
    TWsSession probe(APort);
    ASSERT_EQ(probe.Handshake(), TWsWait::Done);
    ASSERT_TRUE(probe.SendText(VerifyCommand(AState)));
    std::string reply;
    ASSERT_EQ(probe.FrameWith(StateMember(AState), reply), TWsWait::Done);
    EXPECT_EQ(reply.rfind(R"({"event":"Verify Mode","status":"success",)", 0), 0u) << reply;

    // Other clients' replies keep coming; the probe must not hold their broadcasts up.
    const QString portLine = QStringLiteral("Port=%1 (PeerIP=127.0.0.1 - PeerPort=%2)")
                                 .arg(APort)
                                 .arg(probe.LocalPort());
    EXPECT_TRUE(Pump([&] {
      probe.Discard();
      Log->Update();
      return Log->HasPortLineEndingWith(portLine);
    })) << portLine.toStdString();
    EXPECT_TRUE(Pump([&] {
      probe.Discard();
      return CountShows(AOthers + 1);
    })) << Window->clients_connected->text().toStdString();
  }

  TRecordingErrorDisplay Errors;
  TQtMainThreadQueue Queue{Errors};
  std::unique_ptr<TNq> Window;
  std::unique_ptr<TLogCounter> Log;
};

// Clients keep sending commands while "Change" moves the server back and forth: every move
// closes every client, the clients find the server on the new port, and the window's log and
// count follow.
TEST_F(WindowFaultTest, ChangeUnderLoadToTheSamePortAndToAnother) {
  constexpr int kClients = 6;
  constexpr int kRepliesBeforeChange = 20;
  Open(u"0");
  Window->show();
  uint16_t port = StartPort();
  TVerifyLoad load(kClients, port);

  int change = 0;
  for (int round = 0; round < 3; ++round) {
    for (const bool samePort : {false, true}) {
      const uint16_t next = samePort ? port : FreeLoopbackPort();
      SCOPED_TRACE("change " + std::to_string(++change) + " to " +
                   (samePort ? "the same port " : "another port ") + std::to_string(next));
      // Commands are flowing on every connection when the button is clicked.
      ASSERT_TRUE(Pump([&] { return load.AllAnsweredOn(port, kRepliesBeforeChange); }))
          << Joined(load.TakeFailures());
      // The server closes an idle client before the client does, so the old port still has a
      // closing connection when the restart binds it again.
      TWsSession idle(port);
      ASSERT_EQ(idle.Handshake(), TWsWait::Done);
      const std::vector<int> closes = load.Closes();
      Log->Update();
      const int disconnects = Log->Disconnects();

      load.SetPort(next);
      Change(next);
      EXPECT_THAT(Errors.Errors, IsEmpty());
      ASSERT_TRUE(Server().Active());
      ASSERT_EQ(Server().Bindings().Count(), 1);
      EXPECT_EQ(Server().Bindings()[0].IP, u"127.0.0.1");
      EXPECT_EQ(Server().Bindings()[0].Port, next);

      ASSERT_TRUE(Pump([&] { return load.AllReconnectedTo(next, closes); }))
          << Joined(load.TakeFailures());
      EXPECT_EQ(idle.WaitForClose(), TWsWait::Closed);
      EXPECT_TRUE(Pump([&] {
        Log->Update();
        return Log->Disconnects() >= disconnects + kClients + 1;
      })) << Log->Disconnects() - disconnects
          << " disconnects logged";
      if (!samePort) {
        EXPECT_TRUE(LoopbackPortRefuses(port));
      }
      EXPECT_TRUE(RefusesOn("127.0.0.2", next));
      ASSERT_NO_FATAL_FAILURE(
          ExpectAFreshClientIsServed(next, kClients, "probe-" + std::to_string(change)));
      EXPECT_TRUE(Pump([&] { return CountShows(kClients); }))
          << Window->clients_connected->text().toStdString();
      port = next;
    }
  }

  load.Stop();
  ASSERT_TRUE(Pump([&] { return load.AllEnded(); }));
  EXPECT_THAT(load.TakeFailures(), IsEmpty());
  // Every connection the server accepted is logged once as connected and once as disconnected.
  ASSERT_TRUE(Pump([&] { return Server().Contexts().Count() == 0; }));
  EXPECT_TRUE(Pump([&] {
    Log->Update();
    return Log->Connects() == Log->Disconnects();
  })) << Log->Connects()
      << " connects, " << Log->Disconnects() << " disconnects";
  ASSERT_NO_FATAL_FAILURE(ExpectAFreshClientIsServed(port, 0, "last"));
  EXPECT_TRUE(Pump([&] { return CountShows(0); }));
  EXPECT_THAT(Errors.Errors, IsEmpty());
}

// Closing the window while 200 upgraded clients are connected and a few of them keep the bridge
// broadcasting 4 KiB replies to all of them.
TEST_F(WindowFaultTest, ClosingWith200ClientsAndABroadcastInFlightEndsEveryConnection) {
  constexpr int kClients = 200;
  constexpr int kSenders = 4;
  constexpr size_t kStateBytes = 4096;
  RaiseDescriptorLimit();
  Open(u"0");
  Window->show();
  const uint16_t port = StartPort();

  std::vector<std::unique_ptr<TWsSession>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<TWsSession>(port));
    ASSERT_EQ(clients.back()->Handshake(), TWsWait::Done) << "client " << i;
  }
  // One after the other, each counted after the one before.
  ASSERT_TRUE(Pump([&] { return CountShows(kClients); }))
      << Window->clients_connected->text().toStdString();

  std::vector<int> listeners;
  for (int i = kSenders; i < kClients; ++i) listeners.push_back(clients[i]->Fd());
  TDrainingReader reader(listeners);

  // A few clients send the next command as soon as their own reply arrives, so that the bridge
  // is nearly always in a broadcast and other broadcasts wait for the client list.
  std::vector<std::unique_ptr<TBigCommandSender>> senders;
  for (int i = 0; i < kSenders; ++i)
    senders.push_back(std::make_unique<TBigCommandSender>(*clients[i], i, kStateBytes));
  const auto fewestReplies = [&] {
    int fewest = senders[0]->Replies();
    for (const auto& sender : senders) fewest = std::min(fewest, sender->Replies());
    return fewest;
  };
  const auto anyEnded = [&] {
    for (const auto& sender : senders)
      if (sender->Ended()) return true;
    return false;
  };
  ASSERT_TRUE(Pump([&] { return fewestReplies() >= 5 || anyEnded(); }));
  // The broadcasts reach every client, not just the ones that ask.
  ASSERT_TRUE(Pump([&] { return reader.LeastReceived() >= 5 * kStateBytes; }))
      << reader.LeastReceived() << " bytes";
  for (const auto& sender : senders) ASSERT_FALSE(sender->Ended()) << sender->Failure();

  {
    TWatchdog watchdog(std::chrono::seconds(90), "Closing the window");
    Window->close();
  }
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(Window->Bridge()->Server(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return reader.ClosedCount() == kClients - kSenders; }))
      << reader.ClosedCount() << " of " << kClients - kSenders << " listeners saw the close";
  for (const auto& sender : senders) {
    EXPECT_TRUE(WaitFor([&] { return sender->Ended(); }));
    EXPECT_EQ(sender->Failure(), "");
  }
  // Closing shows the disconnects before the window goes; connections that end while the server
  // is released are no longer counted from its list.
  Log->Update();
  EXPECT_EQ(Log->Disconnects(), kClients);
  EXPECT_TRUE(CountShows(0)) << Window->clients_connected->text().toStdString();
  EXPECT_THAT(Errors.Errors, IsEmpty());

  // Destroyed as main() destroys them: the window, then (with the fixture) the queue.
  Log.reset();
  Window.reset();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Another program holds the start-up port: the error is shown, the window still opens, and
// "Change" to a free port brings the server up.
TEST_F(WindowFaultTest, AStartUpPortInUseIsShownAndChangeBringsTheServerUp) {
  const TPortHolder holder;
  Open(std::u16string(QString::number(holder.Port()).toStdU16String()));
  const std::vector<std::string> inUse{"Socket Error # 10048\r\nAddress already in use."};
  EXPECT_EQ(Errors.Errors, inUse);
  ASSERT_NE(Window->Bridge(), nullptr);
  ASSERT_NE(Window->Bridge()->Server(), nullptr);
  EXPECT_FALSE(Server().Active());
  // Creation stopped at the failed step.
  EXPECT_EQ(Window->Bridge()->NextFingerprintId(), 0);
  EXPECT_EQ(Window->Bridge()->CacheHandle(), 0);

  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get(), kDeadlineMs));
  EXPECT_TRUE(Window->btStart->isEnabled());

  const uint16_t freePort = FreeLoopbackPort();
  const struct {
    uint16_t Port;
    std::vector<std::string> Errors;
  } changes[] = {{holder.Port(), inUse}, {freePort, {}}};
  for (const auto& step : changes) {
    SCOPED_TRACE("change to " + std::to_string(step.Port));
    Errors.Errors.clear();
    Change(step.Port);
    EXPECT_EQ(Errors.Errors, step.Errors);
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Window->btStart->isEnabled());
    EXPECT_EQ(Server().Active(), step.Errors.empty());
  }
  ASSERT_NO_FATAL_FAILURE(ExpectAFreshClientIsServed(freePort, 0, "after-a-taken-port"));
  EXPECT_TRUE(Pump([&] { return CountShows(0); }));
}

}  // namespace
