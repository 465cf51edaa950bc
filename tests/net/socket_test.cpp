#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "IdException.h"
#include "IdIOHandlerStack.h"
#include "IdSocketHandle.h"
#include "LoopbackClient.h"

namespace {

std::unique_ptr<TIdSocketHandle> ListenOn(const std::u16string& AIP, uint16_t APort,
                                          TIdIPVersion AVersion = Id_IPv4) {
  auto listening = std::make_unique<TIdSocketHandle>(APort);
  listening->IPVersion = AVersion;
  listening->IP = AIP;
  listening->AllocateSocket();
  listening->Bind();
  listening->Listen(15);
  return listening;
}

// One accepted connection: the server side as the connection server sees it, the client side as
// a plain socket.
struct TConnectedPair {
  explicit TConnectedPair(TIdIPVersion AVersion = Id_IPv4)
      : Listening(ListenOn(AVersion == Id_IPv6 ? u"::1" : u"127.0.0.1", 0, AVersion)),
        Client(Listening->Port, AVersion == Id_IPv6) {
    Server.Open();
    if (!Server.Binding()->Accept(*Listening)) throw std::runtime_error("accept failed");
  }
  std::unique_ptr<TIdSocketHandle> Listening;
  TLoopbackClient Client;
  TIdIOHandlerStack Server;
};

TEST(Socket, PortInUseRaisesAddressInUse) {
  auto first = ListenOn(u"127.0.0.1", 0);
  TIdSocketHandle second(first->Port);
  second.IP = u"127.0.0.1";
  second.AllocateSocket();
  try {
    second.Bind();
    FAIL() << "bind on a listening port succeeded";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10048);
    EXPECT_STREQ(e.what(), "Socket Error # 10048\r\nAddress already in use.");
  }
}

TEST(Socket, NonLocalAddressCannotBeAssigned) {
  TIdSocketHandle handle;
  handle.IP = u"192.0.2.1";  // documentation range: never a local address
  handle.AllocateSocket();
  try {
    handle.Bind();
    FAIL();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10049);
  }
}

TEST(Socket, RebindWhileOldConnectionsLingerInTimeWait) {
  uint16_t port;
  {
    TConnectedPair pair;
    port = pair.Listening->Port;
    // The server closes first, so the server side of the connection goes to TIME_WAIT.
    pair.Server.Close();
    ASSERT_TRUE(pair.Client.WaitForClose());
  }
  auto again = ListenOn(u"127.0.0.1", port);
  EXPECT_EQ(again->Port, port);
}

TEST(Socket, AddressesOfAnAcceptedConnection) {
  TConnectedPair v4;
  EXPECT_EQ(v4.Server.Binding()->IP, u"127.0.0.1");
  EXPECT_EQ(v4.Server.Binding()->PeerIP, u"127.0.0.1");
  EXPECT_EQ(v4.Server.Binding()->Port, v4.Listening->Port);
  EXPECT_NE(v4.Server.Binding()->PeerPort, 0);
  if (!GStackSupportsIPv6()) GTEST_SKIP() << "no IPv6";
  TConnectedPair v6(Id_IPv6);
  EXPECT_EQ(v6.Server.Binding()->PeerIP, u"0:0:0:0:0:0:0:1");
  EXPECT_EQ(v6.Server.Binding()->IPVersion, Id_IPv6);
}

TEST(Socket, CloseFromAnotherThreadWakesABlockedRead) {
  TConnectedPair pair;
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    try {
      pair.Server.ReadByte();
    } catch (const EIdException&) {
    }
    ended = true;
  });
  ASSERT_TRUE(pair.Client.NothingWithin(std::chrono::milliseconds(50)));
  EXPECT_FALSE(ended);
  pair.Server.Close();
  pair.Server.Close();
  reader.join();
  EXPECT_TRUE(ended);
  EXPECT_FALSE(pair.Server.Connected());
  EXPECT_TRUE(pair.Client.WaitForClose());
}

TEST(Socket, PeerCloseAfterDataDeliversTheDataFirst) {
  TConnectedPair pair;
  pair.Client.Send("abc");
  pair.Client.Close();
  EXPECT_EQ(pair.Server.ReadByte(), 'a');
  EXPECT_EQ(pair.Server.ReadByte(), 'b');
  EXPECT_EQ(pair.Server.ReadByte(), 'c');
  EXPECT_THROW(pair.Server.ReadByte(), EIdConnClosedGracefully);
  EXPECT_FALSE(pair.Server.Connected());
}

// A reset is how many clients leave: it ends the stream as a close does, without raising, and
// what arrived before it is still read.
TEST(Socket, AResetEndsTheStreamLikeAClose) {
  TConnectedPair pair;
  pair.Client.Send("ab");
  ASSERT_EQ(pair.Server.ReadByte(), 'a');
  const linger abort{1, 0};
  ASSERT_EQ(::setsockopt(pair.Client.Fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  pair.Client.Close();
  uint8_t byte = 0;
  EXPECT_TRUE(pair.Server.TryReadByte(byte));
  EXPECT_EQ(byte, 'b');
  EXPECT_FALSE(pair.Server.TryReadByte(byte));
  EXPECT_FALSE(pair.Server.Connected());
}

TEST(Socket, ForeignConnectedAndWriteWhileTheOwnThreadReads) {
  // The broadcast tests and writes a connection from another thread while the connection's own
  // thread reads; no byte may be lost, duplicated or reordered on either side.
  TConnectedPair pair;
  constexpr int kBytes = 20000;
  std::atomic<bool> readerKnown{false};
  std::thread own([&] {
    pair.Server.SetReaderThread(std::this_thread::get_id());
    readerKnown = true;
    for (int i = 0; i < kBytes; ++i) ASSERT_EQ(pair.Server.ReadByte(), uint8_t(i * 7));
  });
  std::thread foreign([&] {
    while (!readerKnown) std::this_thread::yield();
    for (int i = 0; i < 200; ++i) {
      EXPECT_TRUE(pair.Server.Connected());
      pair.Server.Write(TIdBytes(100, uint8_t(i)));
    }
  });
  std::string data;
  for (int i = 0; i < kBytes; ++i) data.push_back(char(uint8_t(i * 7)));
  for (size_t sent = 0; sent < data.size(); sent += 1000) pair.Client.Send(data.substr(sent, 1000));
  const std::string received = pair.Client.ReceiveExactly(200 * 100);
  own.join();
  foreign.join();
  ASSERT_EQ(received.size(), 200u * 100u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(uint8_t(received[i * 100]), uint8_t(i));
}

TEST(Socket, AWriteThatMakesNoProgressFailsAndClosesTheConnection) {
  TConnectedPair pair;
  pair.Server.WriteTimeout = 200;
  const TIdBytes chunk(1 << 20, 'x');
  // The client never reads: kernel buffers fill, then the write must give up instead of hanging.
  try {
    for (int i = 0; i < 256; ++i) pair.Server.Write(chunk);
    FAIL() << "256 MiB went into a peer that reads nothing";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10060);
  }
  EXPECT_FALSE(pair.Server.Connected());
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

// Closes racing with a blocked reader, senders and each other, while another thread keeps taking
// every descriptor number the system frees. A call that acted on a released number would write
// into one of those pairs, or fail with an error a shut-down socket never gives; a descriptor
// released twice would close one of them, and one never released would stay open.
TEST(Socket, ClosesRacingWithCallsNeverReachADescriptorHandedOutAgain) {
  constexpr int kRounds = 150;
  const int descriptorsBefore = OpenDescriptorCount();
  std::atomic<bool> done{false};
  std::atomic<int> strayBytes{0};
  std::atomic<int> closedUnderUs{0};
  // Each pair is checked when it leaves the ring of the latest ones, and at the end.
  auto checkAndClose = [&](const std::array<int, 2>& APair) {
    char byte;
    if (::recv(APair[1], &byte, 1, 0) >= 0)
      ++strayBytes;
    else if (errno != EAGAIN)
      ++closedUnderUs;
    ::close(APair[0]);
    ::close(APair[1]);
  };
  std::thread taker([&] {
    std::vector<std::array<int, 2>> ring(128, {-1, -1});
    for (size_t next = 0; !done; next = (next + 1) % ring.size()) {
      if (ring[next][0] >= 0) checkAndClose(ring[next]);
      ring[next] = {-1, -1};
      if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ring[next].data()))
        ring[next] = {-1, -1};
    }
    for (const auto& pair : ring)
      if (pair[0] >= 0) checkAndClose(pair);
  });
  std::atomic<int> unexpected{0};
  const std::set<int> shutDownErrors = {10053, 10054, 10057, 10058};
  for (int round = 0; round < kRounds; ++round) {
    TConnectedPair pair;
    TIdSocketHandle& socket = *pair.Server.Binding();
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
      uint8_t byte;
      try {
        // Woken by the close's shutdown: the end of the stream, never data.
        if (socket.ReceiveWaiting(&byte, 1) != 0) ++unexpected;
      } catch (const EIdConnClosedGracefully&) {
      } catch (const EIdSocketError& e) {
        if (!shutDownErrors.count(e.LastError())) ++unexpected;
      }
    });
    for (int sender = 0; sender < 2; ++sender)
      threads.emplace_back([&] {
        const uint8_t bytes[64] = {};
        try {
          for (int i = 0; i < 1000000; ++i) socket.Send(bytes, sizeof bytes, 0);
        } catch (const EIdClosedSocket&) {
        } catch (const EIdSocketError& e) {
          if (!shutDownErrors.count(e.LastError())) ++unexpected;
        }
      });
    for (int closer = 0; closer < 2; ++closer)
      threads.emplace_back([&, round, closer] {
        if ((round + closer) % 3 == 0) std::this_thread::yield();
        socket.CloseSocket();
        EXPECT_FALSE(socket.HandleAllocated());
      });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(socket.Handle(), -1);
  }
  done = true;
  taker.join();
  EXPECT_EQ(unexpected, 0);
  EXPECT_EQ(strayBytes, 0) << "bytes reached a descriptor handed out again";
  EXPECT_EQ(closedUnderUs, 0) << "a descriptor handed out again was closed";
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// A socket allocated again right after a close, while a wait on the old descriptor may still be
// inside its call: the new descriptor serves, the old wait ends, and nothing is left open.
TEST(Socket, AllocatingAgainWhileAWaitStillHoldsTheClosedDescriptor) {
  const int descriptorsBefore = OpenDescriptorCount();
  {
    auto listening = ListenOn(u"127.0.0.1", 0);
    for (int round = 0; round < 50; ++round) {
      SCOPED_TRACE(round);
      std::atomic<bool> waiting{false};
      std::thread waiter([&] {
        waiting = true;
        try {
          listening->Readable(-1);
        } catch (const EIdException&) {
        }
      });
      while (!waiting) std::this_thread::yield();
      if (round % 2) std::this_thread::yield();
      listening->CloseSocket();
      listening->AllocateSocket();
      listening->Port = 0;
      listening->Bind();
      listening->Listen(15);
      // A wait that began only now waits on the new descriptor: the connect wakes it too.
      TLoopbackClient client(listening->Port);
      waiter.join();
      TIdSocketHandle accepted;
      ASSERT_TRUE(accepted.Accept(*listening));
    }
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// Connections the kernel has completed and that wait to be accepted.
int AcceptQueueLength(int AListening) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(AListening, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
  return int(info.tcpi_unacked);  // on a listening socket: the accept queue's length
}

// A burst of connects while nobody accepts: each must be completed by the kernel at once. With
// the queue length of 15 taken literally, Linux drops the SYNs beyond it and those clients only
// retry a second, then three seconds, later.
TEST(Socket, AListenQueueOf15TakesABurstOf300Connects) {
  auto listening = ListenOn(u"127.0.0.1", 0);
  constexpr int kBurst = 300;
  std::vector<int> clients;
  for (int i = 0; i < kBurst; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_GE(fd, 0);
    clients.push_back(fd);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(listening->Port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ASSERT_TRUE(rc == 0 || errno == EINPROGRESS);
  }
  EXPECT_TRUE(WaitFor([&] { return AcceptQueueLength(listening->Handle()) == kBurst; }))
      << AcceptQueueLength(listening->Handle());
  for (int fd : clients) ::close(fd);
}

}  // namespace
