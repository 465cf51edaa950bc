#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include "IdCustomTCPServer.h"
#include "IdDescriptorLimit.h"
#include "IdException.h"
#include "LoopbackClient.h"

namespace {

using namespace std::chrono_literals;

// Records what the handlers saw, from whichever thread they ran on.
struct TEventLog {
  std::mutex Lock;
  std::vector<std::string> Events;
  std::vector<std::thread::id> Threads;
  std::vector<int> Counts;

  void Add(TIdCustomTCPServer& AServer, const std::string& AEvent) {
    const int count = AServer.Contexts().Count();
    std::lock_guard lock(Lock);
    Events.push_back(AEvent);
    Threads.push_back(std::this_thread::get_id());
    Counts.push_back(count);
  }
  size_t Size() {
    std::lock_guard lock(Lock);
    return Events.size();
  }
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Server.OnConnect = [this](TIdContext*) { Log.Add(Server, "connect"); };
    Server.OnDisconnect = [this](TIdContext*) { Log.Add(Server, "disconnect"); };
    // An execute handler that waits for input like the real one does and consumes it (unread
    // input keeps a closed connection counting as connected).
    Server.OnExecute = [](TIdContext* AContext) {
      auto* io = AContext->Connection()->IOHandler();
      io->CheckForDataOnSource(10);
      TIdBytes discarded;
      io->InputBuffer().ExtractToBytes(discarded);
    };
  }
  uint16_t ListenOnLoopback() {
    auto& binding = Server.Bindings().Add();
    binding.IP = u"127.0.0.1";
    binding.Port = 0;
    Server.SetActive(true);
    return Server.Bindings()[0].Port;
  }
  TEventLog Log;
  TIdCustomTCPServer Server;
};

TEST_F(ServerTest, DefaultBindingsAcceptOnIPv4AndIPv6) {
  Server.SetDefaultPort(0);
  Server.SetActive(true);
  ASSERT_TRUE(Server.Active());
  ASSERT_GE(Server.Bindings().Count(), 1);
  EXPECT_EQ(Server.Bindings()[0].IPVersion, Id_IPv4);
  EXPECT_EQ(Server.Bindings()[0].IP, u"0.0.0.0");
  TLoopbackClient v4(Server.Bindings()[0].Port);
  ASSERT_TRUE(WaitFor([&] { return Log.Size() == 1; }));
  if (GStackSupportsIPv6()) {
    ASSERT_EQ(Server.Bindings().Count(), 2);
    EXPECT_EQ(Server.Bindings()[1].IPVersion, Id_IPv6);
    EXPECT_EQ(Server.Bindings()[1].IP, u"0:0:0:0:0:0:0:0");
    TLoopbackClient v6(Server.Bindings()[1].Port, true);
    ASSERT_TRUE(WaitFor([&] { return Log.Size() == 2; }));
  }
}

TEST_F(ServerTest, ConnectAndCloseAtOnceGivesOneConnectThenOneDisconnectOnOneThread) {
  const uint16_t port = ListenOnLoopback();
  { TLoopbackClient client(port); }
  ASSERT_TRUE(WaitFor([&] { return Log.Size() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 0; }));
  std::lock_guard lock(Log.Lock);
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"connect", "disconnect"}));
  EXPECT_EQ(Log.Threads[0], Log.Threads[1]);
  EXPECT_NE(Log.Threads[0], std::this_thread::get_id());
  // The count inside each handler includes the connection itself.
  EXPECT_EQ(Log.Counts, (std::vector<int>{1, 1}));
}

TEST_F(ServerTest, PortInUseFailsAndALaterActivationOnAFreePortSucceeds) {
  const uint16_t port = ListenOnLoopback();
  TIdCustomTCPServer second;
  auto& binding = second.Bindings().Add();
  binding.IP = u"127.0.0.1";
  binding.Port = port;
  try {
    second.SetActive(true);
    FAIL() << "activated on a port in use";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10048);
    EXPECT_STREQ(e.what(), "Socket Error # 10048\r\nAddress already in use.");
  }
  EXPECT_FALSE(second.Active());
  second.Bindings()[0].Port = 0;
  second.SetActive(true);
  EXPECT_TRUE(second.Active());
  TLoopbackClient client(second.Bindings()[0].Port);
}

TEST_F(ServerTest, LoopbackBindingRefusesOtherAddressesAndKeepsDefaultPort) {
  Server.SetDefaultPort(4321);
  const uint16_t port = ListenOnLoopback();
  EXPECT_EQ(Server.DefaultPort(), 4321);
  EXPECT_EQ(Server.Bindings().Count(), 1);
  TLoopbackClient ok(port);
  if (GStackSupportsIPv6()) {
    EXPECT_THROW(TLoopbackClient(port, true), std::runtime_error);
  }
}

TEST_F(ServerTest, DeactivationClosesEveryClientAndWaitsForTheirThreads) {
  const uint16_t port = ListenOnLoopback();
  TLoopbackClient a(port), b(port), c(port);
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 3; }));
  Server.SetActive(false);
  EXPECT_FALSE(Server.Active());
  EXPECT_EQ(Server.Contexts().Count(), 0);
  {
    std::lock_guard lock(Log.Lock);
    EXPECT_EQ(std::count(Log.Events.begin(), Log.Events.end(), "disconnect"), 3);
  }
  EXPECT_TRUE(a.WaitForClose());
  EXPECT_TRUE(b.WaitForClose());
  EXPECT_TRUE(c.WaitForClose());
  // The bindings survive and serve the next activation.
  Server.SetActive(true);
  TLoopbackClient again(Server.Bindings()[0].Port);
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 1; }));
}

TEST_F(ServerTest, AnExceptionFromExecuteEndsOnlyThatClient) {
  std::atomic<int> executes{0};
  Server.OnExecute = [&](TIdContext* AContext) {
    auto* io = AContext->Connection()->IOHandler();
    io->CheckForDataOnSource(10);
    if (!io->InputBufferIsEmpty() && io->ReadByte() == '!') throw std::runtime_error("boom");
    ++executes;
  };
  const uint16_t port = ListenOnLoopback();
  TLoopbackClient bad(port), good(port);
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 2; }));
  bad.Send("!");
  EXPECT_TRUE(bad.WaitForClose());
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 1; }));
  const int before = executes;
  EXPECT_TRUE(WaitFor([&] { return executes > before + 3; }));
  EXPECT_TRUE(good.NothingWithin(50ms));
  {
    std::lock_guard lock(Log.Lock);
    EXPECT_EQ(std::count(Log.Events.begin(), Log.Events.end(), "disconnect"), 1);
  }
  Server.SetActive(false);  // the handler refers to this test's locals
}

TEST_F(ServerTest, AnExceptionFromConnectStillRunsDisconnect) {
  Server.OnConnect = [this](TIdContext*) {
    Log.Add(Server, "connect");
    throw std::runtime_error("refused");
  };
  const uint16_t port = ListenOnLoopback();
  TLoopbackClient client(port);
  EXPECT_TRUE(client.WaitForClose());
  ASSERT_TRUE(WaitFor([&] { return Log.Size() == 2; }));
  EXPECT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 0; }));
}

TEST(Server, DestroyingAnActiveServerWithClients) {
  std::atomic<int> disconnects{0};
  std::optional<TLoopbackClient> client;
  {
    TIdCustomTCPServer server;
    server.OnDisconnect = [&](TIdContext*) { ++disconnects; };
    auto& binding = server.Bindings().Add();
    binding.IP = u"127.0.0.1";
    server.SetActive(true);
    client.emplace(server.Bindings()[0].Port);
    ASSERT_TRUE(WaitFor([&] { return server.Contexts().Count() == 1; }));
  }
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(client->WaitForClose());
}

TEST_F(ServerTest, DeactivationDoesNotWaitForAWriteStuckOnAClientThatStoppedReading) {
  const uint16_t port = ListenOnLoopback();
  TLoopbackClient stalled(port);  // never reads
  ASSERT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 1; }));
  // A broadcast: writes under the connection-list lock, with a write timeout far beyond the
  // deadline below, so only the deactivation's own shutdown can end the write.
  std::atomic<bool> writing{true};
  std::thread broadcast([&] {
    TIdListLock<TIdContext> contexts(Server.Contexts());
    TIdIOHandler* io = contexts.Items().front()->Connection()->IOHandler();
    io->WriteTimeout = 600000;
    try {
      for (;;) io->Write(TIdBytes(1 << 20, 'x'));
    } catch (const EIdException&) {
    }
    writing = false;
  });
  ASSERT_FALSE(WaitFor([&] { return !writing; }, 300ms));  // stuck in a write
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    Server.SetActive(false);
    stopped = true;
  });
  EXPECT_TRUE(WaitFor([&] { return stopped.load(); }, 60s));
  stalled.Close();  // on failure, lets the write and so the test end
  stopper.join();
  broadcast.join();
  EXPECT_EQ(Server.Contexts().Count(), 0);
}

// A reader like the bridge's: each pass waits for a message in one blocking receive and answers
// it. However the connection ends right after a pass that received, the loop must end within a
// pass or two, with one disconnect; a reset must not leave it passing again and again. A handler
// that stops reading after the first message leaves noticing the end to the loop alone.
TEST_F(ServerTest, TheLoopEndsOnceHoweverTheConnectionEndsAfterAMessage) {
  struct TEnding {
    const char* Name;
    // Sends one more byte right before ending, so the end comes behind a message.
    bool MessageFirst;
    enum { kEndOfStream, kReset, kCloseFromAnotherThread } How;
    bool ReadsOnlyTheFirstMessage;
  };
  const TEnding endings[] = {
      {"end of stream", false, TEnding::kEndOfStream, false},
      {"end of stream behind a message", true, TEnding::kEndOfStream, false},
      {"reset", false, TEnding::kReset, false},
      {"reset behind a message", true, TEnding::kReset, false},
      {"close from another thread", false, TEnding::kCloseFromAnotherThread, false},
      {"end of stream, handler no longer reading", false, TEnding::kEndOfStream, true},
      {"reset, handler no longer reading", false, TEnding::kReset, true},
      {"close from another thread, handler no longer reading", false,
       TEnding::kCloseFromAnotherThread, true},
  };
  std::atomic<bool> readsOnlyTheFirstMessage{false};
  std::atomic<int> messagesRead{0};
  std::atomic<int> passes{0};
  std::atomic<int> passesAtDisconnect{0};
  std::atomic<bool> connected{false};
  Server.OnConnect = [&](TIdContext*) {
    Log.Add(Server, "connect");
    connected = true;
  };
  Server.OnDisconnect = [&](TIdContext*) {
    passesAtDisconnect = passes.load();
    connected = false;
    Log.Add(Server, "disconnect");
  };
  Server.OnExecute = [&](TIdContext* AContext) {
    ++passes;
    if (readsOnlyTheFirstMessage && messagesRead > 0) return;
    TIdIOHandler* io = AContext->Connection()->IOHandler();
    try {
      const uint8_t message = io->ReadByte();
      ++messagesRead;
      io->Write(TIdBytes{message});
    } catch (const EIdException&) {
      // The loop's own look ends the connection.
    }
  };
  const uint16_t port = ListenOnLoopback();
  for (const TEnding& ending : endings) {
    SCOPED_TRACE(ending.Name);
    const size_t eventsBefore = Log.Size();
    readsOnlyTheFirstMessage = ending.ReadsOnlyTheFirstMessage;
    messagesRead = 0;
    TLoopbackClient client(port);
    ASSERT_TRUE(WaitFor([&] { return connected.load(); }));
    client.Send("a");
    ASSERT_EQ(client.ReceiveExactly(1), "a");
    const int passesAtEnd = passes;
    if (ending.MessageFirst) client.Send("b");
    if (ending.How == TEnding::kCloseFromAnotherThread) {
      // Under the connection list's lock, as the server's own closers do (deactivation, a
      // broadcast dropping a peer that fell behind): the connection's thread takes its context
      // off that list before freeing it, so the handler outlives the close even though the
      // close is what ends that thread.
      {
        TIdListLock<TIdContext> contexts(Server.Contexts());
        ASSERT_EQ(contexts.Items().size(), 1u);
        contexts.Items().front()->Connection()->IOHandler()->Close();
      }
      EXPECT_TRUE(client.WaitForClose());
    } else {
      if (ending.How == TEnding::kReset) {
        const linger abort{1, 0};
        ::setsockopt(client.Fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      }
      client.Close();
    }
    ASSERT_TRUE(WaitFor([&] { return Log.Size() == eventsBefore + 2; }));
    EXPECT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 0; }));
    // A handler that no longer reads passes as fast as it can, with or without an end.
    if (!ending.ReadsOnlyTheFirstMessage) {
      EXPECT_LE(passesAtDisconnect - passesAtEnd, 3);
    }
  }
  Server.SetActive(false);  // the handlers refer to this test's locals
  std::lock_guard lock(Log.Lock);
  EXPECT_EQ(std::count(Log.Events.begin(), Log.Events.end(), "disconnect"), 8);
  EXPECT_EQ(Log.Events.back(), "disconnect");
}

TEST_F(ServerTest, ManyShortConnectionsLeaveNothingBehind) {
  const uint16_t port = ListenOnLoopback();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([port] {
      for (int i = 0; i < 50; ++i) {
        TLoopbackClient client(port);
        client.Send("x");
      }
    });
  for (auto& t : threads) t.join();
  ASSERT_TRUE(WaitFor([&] { return Log.Size() == 400; })) << Log.Size();
  EXPECT_TRUE(WaitFor([&] { return Server.Contexts().Count() == 0; }));
}

// Lowers the soft descriptor limit for its life, so that a test can fill the table quickly.
class TLoweredDescriptorLimit {
 public:
  explicit TLoweredDescriptorLimit(rlim_t ASoft) {
    ::getrlimit(RLIMIT_NOFILE, &FOriginal);
    rlimit lowered = FOriginal;
    lowered.rlim_cur = std::min(ASoft, FOriginal.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~TLoweredDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &FOriginal); }
  TLoweredDescriptorLimit(const TLoweredDescriptorLimit&) = delete;
  TLoweredDescriptorLimit& operator=(const TLoweredDescriptorLimit&) = delete;

 private:
  rlimit FOriginal{};
};

rlim_t SoftDescriptorLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  return limit.rlim_cur;
}

rlim_t HighestOpenDescriptor() {
  rlim_t highest = 0;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds))
      highest = std::max<rlim_t>(highest, std::strtoul(entry->d_name, nullptr, 10));
    ::closedir(fds);
  }
  return highest;
}

TEST(DescriptorLimit, RaisedToTheHardLimit) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  TLoweredDescriptorLimit lowered(HighestOpenDescriptor() + 64);
  ASSERT_LT(SoftDescriptorLimit(), limit.rlim_max);
  GRaiseDescriptorLimit();
  EXPECT_EQ(SoftDescriptorLimit(), limit.rlim_max);
}

// Once the descriptor table is full, accepting fails; the listener must go on, and serve the
// waiting client and new ones as soon as descriptors are free again.
TEST_F(ServerTest, ListenerServesAgainOnceAFullDescriptorTableHasRoom) {
  const uint16_t port = ListenOnLoopback();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Made before the table fills; connects once it is full.
  const int waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(waiting, 0);
  {
    TLoweredDescriptorLimit lowered(HighestOpenDescriptor() + 64);
    struct TFillers {
      std::vector<int> Fds;
      ~TFillers() {
        for (int fd : Fds) ::close(fd);
      }
    } fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.Fds.push_back(fd);
    ASSERT_EQ(errno, EMFILE);
    ASSERT_EQ(::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The kernel has completed the connection, but there is no descriptor to accept it into.
    EXPECT_FALSE(WaitFor([&] { return Log.Size() > 0; }, 300ms));
  }
  EXPECT_TRUE(WaitFor([&] { return Log.Size() == 1; }));
  TLoopbackClient next(port);
  EXPECT_TRUE(WaitFor([&] { return Log.Size() == 2; }));
  ::close(waiting);
  next.Close();
  EXPECT_TRUE(WaitFor([&] { return Log.Size() == 4; }));
}

}  // namespace

