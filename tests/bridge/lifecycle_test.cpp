#include <sys/socket.h>

#include "BridgeFixture.h"
#include "IdException.h"
#include "PortText.h"

namespace {

TEST_F(BridgeTest, ConnectCommandAndDisconnectAreLoggedAndCounted) {
  auto client = Connect();
  client->SendText(R"({"state":"s","act":"verify"})");
  ASSERT_TRUE(client->ReceiveText());
  client.reset();
  ASSERT_TRUE(Queue.RunUntil([&] { return Count.Texts.size() == 2; }));
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[0], "[] Client Connected");
  EXPECT_EQ(messages[1], "[SERVER] Client Connected!");
  EXPECT_TRUE(
      std::regex_match(messages[2], std::regex(R"(\[SERVER\] Port=)" + std::to_string(Port) +
                                               R"( \(PeerIP=127\.0\.0\.1 - PeerPort=\d+\))")))
      << messages[2];
  // The logged command is the parsed object written back, not the text received.
  EXPECT_EQ(messages[3], R"([] {"state":"s","act":"verify"})");
  EXPECT_EQ(messages[4], "[fingerprint] Verify Mode success");
  EXPECT_EQ(messages[5], "[CLIENT LIST] 1");
  EXPECT_EQ(messages[6], "[] Client disconnected");
  EXPECT_EQ(Count.Texts, (std::vector<std::string>{"1", "0"}));
}

// A connect and a disconnect wake the main thread once each, with all their lines and the count.
TEST_F(BridgeTest, AConnectAndADisconnectAreOneQueueEntryEach) {
  // Its upgrade answered, the client's connect has queued everything it shows.
  auto client = std::make_unique<TWsTestClient>(Port, true);
  EXPECT_EQ(Queue.ProcessPending(), 1);
  EXPECT_EQ(Messages().size(), 3u);
  EXPECT_EQ(Count.Texts, std::vector<std::string>{"1"});
  client.reset();
  // The server lists a connection until its disconnect has been shown.
  ASSERT_TRUE(WaitFor([&] { return Bridge->Server()->Contexts().Count() == 0; }));
  EXPECT_EQ(Queue.ProcessPending(), 1);
  EXPECT_EQ(Messages().back(), "[] Client disconnected");
  EXPECT_EQ(Count.Texts, (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(Engine->ClientCounts(), (std::vector<int32_t>{0, 1, 0}));
}

// The engine hears how many clients could see a press (0 from the start), and what it has to
// say about the sensor reaches the log.
TEST_F(BridgeTest, TheEngineHearsTheClientCountAndItsNoticesAreLogged) {
  auto first = Connect();
  auto second = Connect();
  first.reset();
  ASSERT_TRUE(Queue.RunUntil([&] { return Engine->ClientCounts().size() == 4; }));
  EXPECT_EQ(Engine->ClientCounts(), (std::vector<int32_t>{0, 1, 2, 1}));
  Engine->OnNotice(Engine, u"reader too hot: next try in 60 s");
  EXPECT_EQ(Messages().back(), "[fingerprint] reader too hot: next try in 60 s");
}

TEST_F(BridgeTest, BroadcastCountsEveryConnectionButWritesOnlyToUpgradedOnes) {
  auto plain = Connect(false);
  auto upgraded = Connect();
  Bridge->morvaneVerify(u"from the main thread");
  const auto reply = upgraded->ReceiveText();
  ASSERT_TRUE(reply);
  const auto messages = Messages();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "[CLIENT LIST] 2"), messages.end());
  EXPECT_TRUE(plain->NothingWithin(std::chrono::milliseconds(50)));
  // The plain client can still complete its handshake and then gets the next message.
  plain->Handshake();
  Bridge->morvaneIdentify(u"next");
  const auto next = plain->ReceiveText();
  ASSERT_TRUE(next);
  EXPECT_NE(next->find("Identify Mode"), std::string::npos);
}

TEST_F(BridgeTest, WithNoClientAMessageIsStillLogged) {
  Bridge->morvaneIdentify(u"x");
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "[fingerprint] Identify Mode success");
  EXPECT_EQ(messages[1], "[CLIENT LIST] 0");
}

// Where the server listens, binding by binding.
std::vector<std::string> ListenAddresses(TWebSocketServer& AServer) {
  std::vector<std::string> addresses;
  for (int i = 0; i < AServer.Bindings().Count(); ++i) {
    const TIdSocketHandle& binding = AServer.Bindings()[i];
    addresses.push_back(ToUtf8(binding.IP) + " port " + std::to_string(binding.Port) + " IPv" +
                        (binding.IPVersion == Id_IPv6 ? "6" : "4"));
  }
  return addresses;
}

// A rejected port text is refused before anything stops: the connected page keeps its bridge.
TEST_F(BridgeTest, RejectedPortTextsStopNothing) {
  auto page = Connect();
  const std::vector<std::string> listening = ListenAddresses(*Bridge->Server());
  const struct {
    std::u16string Port;
    std::string Error;
  } rejected[] = {
      {u"abc", "'abc' is not a valid integer value"},
      {u"", "'' is not a valid integer value"},
      {u"9091 ", "'9091 ' is not a valid integer value"},
      {u"-$FFFFFFFF", "'-$FFFFFFFF' is not a valid integer value"},
      {u"$100000000", "'$100000000' is not a valid integer value"},
      {u"65536", "Range check error"},
      {u"70000", "Range check error"},
      {u"-1", "Range check error"},
      {u"-$80000000", "Range check error"},
      {u"$FFFFFFFF", "Range check error"},
  };
  for (const auto& c : rejected) {
    SCOPED_TRACE(ToUtf8(c.Port));
    try {
      Bridge->start(c.Port);
      ADD_FAILURE() << "accepted";
    } catch (const std::exception& e) {
      EXPECT_EQ(e.what(), c.Error);
    }
    EXPECT_TRUE(Bridge->Server()->Active());
    EXPECT_EQ(ListenAddresses(*Bridge->Server()), listening);
  }
  page->SendText(R"({"act":"verify","state":"still here"})");
  const auto reply = page->ReceiveText();
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("still here"), std::string::npos);
  EXPECT_EQ(CountLines("Client disconnected"), 0u);
}

// The new port is taken: the server stops (its clients go), fails to bind, and listens again on
// every address and port it had, so that pages reconnect where they found it.
TEST_F(BridgeTest, AChangeToABusyPortListensAgainWhereTheServerWas) {
  auto page = Connect();
  const std::vector<std::string> listening = ListenAddresses(*Bridge->Server());
  TWebSocketServer holder;
  holder.Bindings().Add().IP = u"127.0.0.1";
  holder.SetActive(true);
  try {
    Bridge->start(IntToStr(holder.Bindings()[0].Port));
    FAIL() << "started on a port in use";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10048);
  }
  EXPECT_TRUE(page->WaitForClose());
  ASSERT_TRUE(Bridge->Server()->Active());
  EXPECT_EQ(ListenAddresses(*Bridge->Server()), listening);
  auto again = Connect();
  again->SendText(R"({"act":"verify","state":"back"})");
  EXPECT_TRUE(again->ReceiveText());
}

// Leading blanks are allowed; the server then listens on 127.0.0.1 only and every client
// connected before is disconnected.
TEST_F(BridgeTest, RestartMovesTheServerToLoopback) {
  auto before = Connect();
  Bridge->start(u"  0");
  EXPECT_TRUE(before->WaitForClose());
  ASSERT_TRUE(Queue.RunUntil([&] { return CountLines("Client disconnected") == 1; }));
  ASSERT_TRUE(Bridge->Server()->Active());
  ASSERT_EQ(Bridge->Server()->Bindings().Count(), 1);
  EXPECT_EQ(Bridge->Server()->Bindings()[0].IP, u"127.0.0.1");
  EXPECT_EQ(Bridge->Server()->DefaultPort(), 0);
  TWsTestClient after(Bridge->Server()->Bindings()[0].Port);
  after.SendText(R"({"act":"verify"})");
  EXPECT_TRUE(after.ReceiveText());
}

// A start-up port the port box rejects skips the remaining steps; closing then has no cache to
// free. (A start-up port in use is the window's test.)
TEST(BridgeStartUp, ABadStartUpPortSkipsTheRestAndCloses) {
  TLoopMainThreadQueue queue;
  auto engine = std::make_unique<TFakeEngine>();
  TFakeEngine* fake = engine.get();
  TWebSocketServerForm bridge(queue, std::move(engine));
  bridge.edPort = u"abc";
  EXPECT_THROW(bridge.FormCreate(), EConvertError);
  EXPECT_FALSE(bridge.Server()->Active());
  EXPECT_EQ(bridge.NextFingerprintId(), 0);
  EXPECT_EQ(bridge.CacheHandle(), 0);
  bridge.start(u"0");
  EXPECT_TRUE(bridge.Server()->Active());
  bool terminated = false;
  bridge.OnTerminate = [&] { terminated = true; };
  bridge.FormClose();
  EXPECT_TRUE(terminated);
  EXPECT_EQ(bridge.Server(), nullptr);
  EXPECT_EQ(fake->TakeCalls(), std::vector<std::string>{});
}

// Where a "listening" log line says the server listens.
std::string ListeningOn(const std::string& ALine) {
  static const std::regex form(
      R"(\[SERVER\] - \d{4}-\d\d-\d\d \d\d:\d\d:\d\d: : Tessiva \d+(\.\d+)+ listening on (.*))");
  std::smatch m;
  return std::regex_match(ALine, m, form) ? m[2].str() : "not a listening line: " + ALine;
}

// The log says which program runs and where pages find it: once at start-up (every address of
// the default bindings) and once after each Change that succeeds.
TEST(BridgeListeningLine, AtStartUpAndAfterEachSuccessfulChange) {
  TLoopMainThreadQueue queue;
  TRecordingLog log;
  TWebSocketServerForm bridge(queue, std::make_unique<TFakeEngine>());
  bridge.SetMessagesLog(&log);
  bridge.edPort = u"0";
  bridge.FormCreate();
  TWebSocketServer& server = *bridge.Server();
  std::string where = "0.0.0.0:" + std::to_string(server.Bindings()[0].Port);
  if (server.Bindings().Count() == 2)
    where += ", [0:0:0:0:0:0:0:0]:" + std::to_string(server.Bindings()[1].Port);
  ASSERT_EQ(log.Lines.size(), 1u);
  EXPECT_EQ(ListeningOn(log.Lines[0]), where);

  TWebSocketServer holder;
  holder.Bindings().Add().IP = u"127.0.0.1";
  holder.SetActive(true);
  for (const std::u16string& port : {std::u16string(u"abc"), IntToStr(holder.Bindings()[0].Port)})
    EXPECT_ANY_THROW(bridge.start(port));
  EXPECT_EQ(log.Lines.size(), 1u);

  bridge.start(u"0");
  ASSERT_EQ(log.Lines.size(), 2u);
  EXPECT_EQ(ListeningOn(log.Lines[1]), "127.0.0.1:" + std::to_string(server.Bindings()[0].Port));
  bridge.FormClose();
}

// Given addresses replace every interface at start-up, and a Change moves them, not 127.0.0.1
// alone, to its port.
TEST(BridgeListenOn, StartUpAndEachChangeListenOnTheGivenAddressesOnly) {
  TLoopMainThreadQueue queue;
  TRecordingLog log;
  TWebSocketServerForm bridge(queue, std::make_unique<TFakeEngine>());
  bridge.SetMessagesLog(&log);
  const bool v6 = GStackSupportsIPv6();
  bridge.ListenOn = {{u"127.0.0.1", Id_IPv4}};
  if (v6) bridge.ListenOn.push_back({u"::1", Id_IPv6});
  bridge.edPort = u"0";
  bridge.FormCreate();
  TWebSocketServer& server = *bridge.Server();
  const auto expected = [&] {
    std::vector<std::string> addresses{"127.0.0.1 port " +
                                       std::to_string(server.Bindings()[0].Port) + " IPv4"};
    if (v6)
      addresses.push_back("0:0:0:0:0:0:0:1 port " + std::to_string(server.Bindings()[1].Port) +
                          " IPv6");
    return addresses;
  };
  EXPECT_EQ(ListenAddresses(server), expected());
  ASSERT_EQ(log.Lines.size(), 1u);
  EXPECT_EQ(ListeningOn(log.Lines[0]).find("127.0.0.1:"), 0u) << log.Lines[0];

  const uint16_t before = server.Bindings()[0].Port;
  bridge.start(u"0");
  EXPECT_NE(server.Bindings()[0].Port, before);
  EXPECT_EQ(ListenAddresses(server), expected());
  EXPECT_EQ(server.DefaultPort(), 0);
  TWsTestClient page(server.Bindings()[0].Port);
  page.SendText(R"({"act":"verify","state":"moved"})");
  const auto reply = page.ReceiveText();
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("moved"), std::string::npos);
  bridge.FormClose();
}

TEST_F(BridgeTest, ClosingWithClientsAndQueuedLinesTouchesNothingAfterwards) {
  std::vector<std::unique_ptr<TWsTestClient>> clients;
  for (int i = 0; i < 5; ++i) clients.push_back(std::make_unique<TWsTestClient>(Port));
  for (auto& c : clients) c->SendText(R"({"act":"verify"})");
  for (auto& c : clients) ASSERT_TRUE(c->ReceiveText());
  // Lines are still queued: close and destroy the bridge before the main thread runs them.
  Bridge->FormClose();
  for (auto& c : clients) EXPECT_TRUE(c->WaitForClose());
  Bridge->SetMessagesLog(nullptr);
  Bridge.reset();
  const size_t shown = Log.Lines.size();
  EXPECT_GT(Queue.ProcessPending(), 0);
  EXPECT_EQ(Log.Lines.size(), shown);
}

TEST(IntegerText, PortBoxConversion) {
  const struct {
    std::u16string Text;
    int64_t Value;  // -1000000 marks a conversion error
  } cases[] = {
      {u"9090", 9090},
      {u"  9090", 9090},
      {u"+80", 80},
      {u"-5", -5},
      {u"$FF", 255},
      {u"0x1F", 31},
      {u"X10", 16},
      {u"-$10", -16},
      {u"2147483647", 2147483647},
      {u"-2147483648", -2147483648LL},
      {u"2147483648", -1000000},
      {u"$FFFFFFFF", -1},
      {u"$100000000", -1000000},
      {u"-$80000000", -2147483648LL},
      {u"-$FFFFFFFF", -1000000},
      {u"-0x80000001", -1000000},
      {u"-2147483649", -1000000},
      {u"", -1000000},
      {u" ", -1000000},
      {u"90 90", -1000000},
      {u"9090\t", -1000000},
      {u"0x", -1000000},
      {u"+", -1000000},
      {u"\u0669", -1000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.Text));
    if (c.Value == -1000000) {
      EXPECT_THROW(StrToInt(c.Text), EConvertError);
    } else {
      EXPECT_EQ(StrToInt(c.Text), c.Value);
    }
  }
  EXPECT_THROW(StrToPort(u"65536"), ERangeError);
  EXPECT_EQ(StrToPort(u"65535"), 65535);
}

}  // namespace
