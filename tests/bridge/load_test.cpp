#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "load_fixture.h"

namespace {

using namespace std::chrono_literals;

const std::string kUpgradeRequest =
    "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
const std::string kUpgradeResponse =
    "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// An upgraded client that never reads after the handshake, with the smallest receive buffer the
// system allows, so that the server's writes to it stall soon.
class TStalledClient {
 public:
  explicit TStalledClient(uint16_t APort) {
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FFd < 0) throw std::runtime_error("socket failed");
    const int smallest = 1;
    ::setsockopt(FFd, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(APort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(FFd);
      throw std::runtime_error("connect failed");
    }
    if (::send(FFd, kUpgradeRequest.data(), kUpgradeRequest.size(), MSG_NOSIGNAL) !=
        ssize_t(kUpgradeRequest.size()))
      throw std::runtime_error("send failed");
    if (Receive(kUpgradeResponse.size(), 20s) != kUpgradeResponse)
      throw std::runtime_error("no upgrade");
  }
  ~TStalledClient() { Close(); }
  TStalledClient(const TStalledClient&) = delete;
  TStalledClient& operator=(const TStalledClient&) = delete;

  uint16_t LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
  }

  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }

  // Reads everything the server left queued; true when end-of-stream or a reset follows it
  // before the deadline.
  bool DrainUntilClosed(std::chrono::milliseconds ADeadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd entry{FFd, POLLIN, 0};
      if (::poll(&entry, 1, int(left.count())) <= 0) return false;
      char buffer[65536];
      if (::recv(FFd, buffer, sizeof buffer, 0) <= 0) return true;
    }
  }

 private:
  std::string Receive(size_t ACount, std::chrono::milliseconds ADeadline) {
    std::string data;
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    while (data.size() < ACount) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd entry{FFd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, int(left.count())) <= 0) break;
      char buffer[256];
      const ssize_t n = ::recv(FFd, buffer, std::min(sizeof buffer, ACount - data.size()), 0);
      if (n <= 0) break;
      data.append(buffer, size_t(n));
    }
    return data;
  }

  int FFd = -1;
};

// Event ASeq of the broadcast run: a JSON object of exactly 4 KiB.
std::string LoadEvent(int ASeq) {
  const std::string head = R"({"event":"Load","seq":)" + std::to_string(ASeq) + R"(,"pad":")";
  const std::string tail = "\"}";
  return head + std::string(4096 - head.size() - tail.size(), 'x') + tail;
}

TEST_F(LoadTest, ChurnGivesBackEveryThreadContextAndDescriptor) {
  constexpr int kCycles = 2000;
  constexpr int kWorkers = 4;
  const TProcessResources baseline = Resources();
  std::atomic<int> next{0}, completed{0}, working{kWorkers};
  TFailures failures;
  {
    std::vector<std::jthread> workers;
    for (int w = 0; w < kWorkers; ++w)
      workers.emplace_back([&](std::stop_token AStop) {
        for (int cycle; !AStop.stop_requested() && (cycle = next++) < kCycles;) {
          try {
            TWsTestClient client(Port);
            const std::string state = "churn-" + std::to_string(cycle);
            client.SendText(Command("verify", state));
            if (ReceiveReplyTo(client, state))
              ++completed;
            else
              failures.Add("no reply to " + state);
          } catch (const std::exception& e) {
            failures.Add("cycle " + std::to_string(cycle) + ": " + e.what());
          }
        }
        --working;
      });
    EXPECT_TRUE(PumpUntil([&] { return working == 0; }, 170s));
  }
  EXPECT_EQ(completed, kCycles) << Joined(failures.Take());
  // Connection threads end and free their sockets after the client has gone.
  EXPECT_TRUE(PumpUntil([&] { return Resources() == baseline; }, 30s))
      << "now " << Resources() << ", before " << baseline;
  EXPECT_EQ(CountLines("Client Connected!"), size_t(kCycles));
  EXPECT_EQ(CountLines("Client disconnected"), size_t(kCycles));
}

TEST_F(LoadTest, SilentAndTricklingConnectionsDoNotHoldUpANewClient) {
  constexpr int kSilent = 500;
  ASSERT_GE(DescriptorLimit(), 2 * kSilent + 100) << "both ends of every connection need one";
  std::vector<std::unique_ptr<TLoopbackClient>> silent;
  // In steps the listener keeps up with: the listen queue holds 15, and a connection refused by
  // a full queue is retried only a second later.
  for (int i = 0; i < kSilent; ++i) {
    silent.push_back(std::make_unique<TLoopbackClient>(Port));
    if (i % 8 == 7) {
      ASSERT_TRUE(PumpUntil([&] { return ContextCount() == i + 1; })) << i;
    }
  }
  ASSERT_TRUE(PumpUntil([&] { return ContextCount() == kSilent; })) << ContextCount();

  TFailures failures;
  std::atomic<int> trickled{0};
  std::jthread trickler([&](std::stop_token AStop) {
    try {
      TLoopbackClient slow(Port);
      const auto end = std::chrono::steady_clock::now() + 120s;
      // The request over and over, one byte at a time, until the new client has been served.
      for (size_t i = 0; !AStop.stop_requested() && std::chrono::steady_clock::now() < end; ++i) {
        slow.Send(kUpgradeRequest.substr(i % kUpgradeRequest.size(), 1));
        ++trickled;
        std::this_thread::sleep_for(20ms);
      }
    } catch (const std::exception& e) {
      failures.Add(std::string("trickling client: ") + e.what());
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return trickled >= 3; }));

  TWsTestClient fresh(Port);
  fresh.SendText(Command("identify", "fresh"));
  const auto reply = ReceiveReplyTo(fresh, "fresh");
  const int connections = ContextCount();
  trickler.request_stop();
  trickler.join();

  ASSERT_TRUE(reply);
  EXPECT_EQ(connections, kSilent + 2);
  const auto seenFailures = failures.Take();
  EXPECT_TRUE(seenFailures.empty()) << Joined(seenFailures);
  // The reply went only to the upgraded client.
  int disturbed = 0;
  for (auto& client : silent)
    if (!client->NothingWithin(0ms)) ++disturbed;
  EXPECT_EQ(disturbed, 0);
}

TEST_F(LoadTest, StalledClientIsDroppedWhileTheOthersGetEveryEventInOrder) {
  constexpr int kEvents = 1000;
  constexpr int kReaders = 3;
  constexpr int kStalledWriteTimeout = 2000;
  std::vector<std::unique_ptr<TWsTestClient>> readers;
  for (int i = 0; i < kReaders; ++i) readers.push_back(Connect());
  TStalledClient stalled(Port);
  ASSERT_TRUE(PumpUntil([&] { return ContextCount() == kReaders + 1; }));
  // A shorter bound on the stalled connection's writes keeps the run short.
  int found = 0;
  ForEachConnection([&](TIdContext& AContext) {
    if (AContext.Binding() && AContext.Binding()->PeerPort == stalled.LocalPort()) {
      AContext.Connection()->IOHandler()->WriteTimeout = kStalledWriteTimeout;
      ++found;
    }
  });
  ASSERT_EQ(found, 1);

  TFailures failures;
  std::atomic<int> readersDone{0}, broadcastsDone{0};
  // The event being broadcast (-1 between calls) and when its call began.
  std::atomic<int> inCall{-1};
  std::atomic<int64_t> callStart{0};
  std::atomic<bool> probeRan{false}, probeRanDuringStall{false};
  {
    std::vector<std::jthread> threads, readerThreads;
    for (auto& reader : readers)
      readerThreads.emplace_back([&, client = reader.get()] {
        try {
          for (int seq = 0; seq < kEvents; ++seq) {
            const auto frame = client->ReceiveText(30s);
            if (!frame) {
              failures.Add("event " + std::to_string(seq) + " missing");
              break;
            }
            if (*frame != LoadEvent(seq)) {
              failures.Add("event " + std::to_string(seq) + " wrong: " + frame->substr(0, 40));
              break;
            }
          }
        } catch (const std::exception& e) {
          failures.Add(std::string("reader: ") + e.what());
        }
        ++readersDone;
      });
    threads.emplace_back([&] {
      for (int seq = 0; seq < kEvents; ++seq) {
        const std::u16string event = FromUtf8(LoadEvent(seq));
        callStart = NowNs();
        inCall = seq;
        Bridge->WebSocketSendDataToClients(event);
        inCall = -1;
        ++broadcastsDone;
      }
    });
    // Once one broadcast call has been held up for a while, a procedure queued for the main
    // thread must run before that call returns.
    threads.emplace_back([&](std::stop_token AStop) {
      while (!AStop.stop_requested() && broadcastsDone < kEvents) {
        const int seq = inCall;
        const int64_t start = callStart;
        if (seq >= 0 && inCall == seq && NowNs() - start > 200'000'000) {
          Queue.Queue([&, seq] {
            probeRanDuringStall = inCall == seq;
            probeRan = true;
          });
          return;
        }
        std::this_thread::sleep_for(5ms);
      }
    });
    const bool finished =
        PumpUntil([&] { return readersDone == kReaders && broadcastsDone == kEvents; }, 120s);
    EXPECT_TRUE(finished);
    threads.back().request_stop();
    if (!finished) {
      // A write held up without a bound would keep the broadcast for ever. Each reader gives up
      // within its wait; closing every client then resets whatever write is still held up.
      readerThreads.clear();
      for (auto& reader : readers) reader->Socket().Close();
      stalled.Close();
    }
  }
  Queue.ProcessPending();
  const auto seenFailures = failures.Take();
  EXPECT_TRUE(seenFailures.empty()) << Joined(seenFailures);
  EXPECT_TRUE(probeRan);
  EXPECT_TRUE(probeRanDuringStall);
  // Only the bounded write can have ended the stalled connection: nothing else closes it.
  EXPECT_TRUE(PumpUntil([&] { return ContextCount() == kReaders; }, 20s)) << ContextCount();
  EXPECT_TRUE(stalled.DrainUntilClosed());
}

}  // namespace
