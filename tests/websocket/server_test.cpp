#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ClientFrame.h"
#include "IdIOHandlerMemory.h"
#include "LoopbackClient.h"
#include "WebSocketHandshake.h"
#include "WebSocketIOHandlerHelper.h"
#include "WebSocketServer.h"

namespace {

using namespace std::chrono_literals;

std::string UpgradeRequest(const std::string& AKey, const std::string& AUpgrade = "websocket") {
  return "GET /chat HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: " + AUpgrade +
         "\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + AKey +
         "\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

std::string ResponseFor(const std::string& AKey) {
  std::u16string key(AKey.begin(), AKey.end());
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         WebSocketAcceptValue(key, TIdHashSHA1()) + "\r\n\r\n";
}

std::string AsString(const TIdBytes& ABytes) {
  return std::string(ABytes.begin(), ABytes.end());
}

std::string ServerFrame(const std::string& APayload) {
  TIdIOHandlerMemory handler;
  TWebSocketIOHandlerHelper(handler).WriteBytes(TIdBytes(APayload.begin(), APayload.end()));
  return AsString(handler.Written());
}

// The echo handler a real owner would install: wait briefly, read one message, answer it.
void Echo(TIdContext* AContext) {
  TIdIOHandler& handler = *AContext->Connection()->IOHandler();
  handler.CheckForDataOnSource(10);
  TWebSocketIOHandlerHelper codec(handler);
  const std::u16string text = codec.ReadString();
  if (!text.empty()) codec.WriteString(text);
}

class WebSocketServerTest : public ::testing::Test {
 protected:
  // Handlers are installed before activation and left alone while connection threads run.
  void Start() {
    TIdSocketHandle& binding = Server->Bindings().Add();
    binding.IP = u"127.0.0.1";
    binding.Port = 0;
    Server->SetActive(true);
    Port = Server->Bindings()[0].Port;
  }

  std::unique_ptr<TWebSocketServer> Server = std::make_unique<TWebSocketServer>();
  uint16_t Port = 0;
};

// The handshake state as the owner's handlers see it, pass by pass.
struct TTagLog {
  void Add(int32_t ATag) {
    std::lock_guard lock(Lock);
    Tags.push_back(ATag);
  }
  size_t Count(int32_t ATag) {
    std::lock_guard lock(Lock);
    return size_t(std::count(Tags.begin(), Tags.end(), ATag));
  }
  std::mutex Lock;
  std::vector<int32_t> Tags;
};

// The server's own steps driven pass by pass on an in-memory connection, without threads.
class TPassByPassServer : public TWebSocketServer {
 public:
  using TWebSocketServer::DoConnect;
  using TWebSocketServer::DoExecute;
};

TEST(WebSocketServerPasses, HandshakeFirstThenTheHandlerOnEveryPass) {
  struct TPass {
    int32_t Tag;
    size_t Written;
    int Buffered;
  };
  TPassByPassServer server;
  auto owned = std::make_unique<TIdIOHandlerMemory>();
  TIdIOHandlerMemory& handler = *owned;
  TIdContext context(std::make_unique<TIdTCPConnection>(std::move(owned)), nullptr, &server);
  int32_t tagOnConnect = 0;
  std::vector<TPass> passes;
  server.OnConnect = [&](TIdContext*) { tagOnConnect = handler.Tag; };
  server.OnExecute = [&](TIdContext*) {
    handler.CheckForDataOnSource(0);
    passes.push_back({handler.Tag, handler.Written().size(), handler.InputBuffer().Size()});
    handler.InputBuffer().Clear();
  };
  const std::string request = UpgradeRequest("dGhlIHNhbXBsZSBub25jZQ==");
  const size_t responseSize = ResponseFor("dGhlIHNhbXBsZSBub25jZQ==").size();

  server.DoConnect(&context);
  EXPECT_EQ(tagOnConnect, -1);
  EXPECT_TRUE(server.DoExecute(&context));  // nothing arrived
  handler.Feed(UpgradeRequest("dGhlIHNhbXBsZSBub25jZQ==", "WebSocket"));
  EXPECT_TRUE(server.DoExecute(&context));  // refused
  handler.Feed(request);
  EXPECT_TRUE(server.DoExecute(&context));  // upgraded, handler right after the response
  handler.Feed(request);
  EXPECT_TRUE(server.DoExecute(&context));  // not parsed again: left for the handler
  handler.FeedEndOfStream();
  EXPECT_FALSE(server.DoExecute(&context));

  ASSERT_EQ(passes.size(), 5u);
  const TPass expected[] = {{-1, 0, 0},
                            {-1, 0, 0},
                            {1, responseSize, 0},
                            {1, responseSize, int(request.size())},
                            {1, responseSize, 0}};
  for (size_t i = 0; i < passes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(passes[i].Tag, expected[i].Tag);
    EXPECT_EQ(passes[i].Written, expected[i].Written);
    EXPECT_EQ(passes[i].Buffered, expected[i].Buffered);
  }
}

TEST_F(WebSocketServerTest, SampleRequestUpgradesAndTheHandlerRunsOnEveryPass) {
  std::atomic<int32_t> tagOnConnect{0};
  TTagLog passes;
  Server->OnConnect = [&](TIdContext* AContext) {
    tagOnConnect = AContext->Connection()->IOHandler()->Tag.load();
  };
  Server->OnExecute = [&](TIdContext* AContext) {
    passes.Add(AContext->Connection()->IOHandler()->Tag);
    Echo(AContext);
  };
  Start();
  TLoopbackClient client(Port);
  ASSERT_TRUE(WaitFor([&] { return passes.Count(-1) > 0; }));
  EXPECT_EQ(tagOnConnect, -1);

  const std::string response =
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
  client.Send(UpgradeRequest("dGhlIHNhbXBsZSBub25jZQ=="));
  EXPECT_EQ(client.ReceiveExactly(response.size()), response);

  client.Send(AsString(ClientFrame(0x81, TIdBytes{'H', 'e', 'l', 'l', 'o'})));
  EXPECT_EQ(client.ReceiveExactly(7), ServerFrame("Hello"));
  EXPECT_GT(passes.Count(1), 0u);
  Server->SetActive(false);  // the handlers refer to this test's locals
}

TEST_F(WebSocketServerTest, RefusedRequestsThenACorrectOneOnTheSameConnection) {
  std::atomic<int> pendingPasses{0};
  Server->OnExecute = [&](TIdContext* AContext) {
    if (AContext->Connection()->IOHandler()->Tag == -1) ++pendingPasses;
  };
  Start();
  TLoopbackClient client(Port);
  const std::string refused[] = {
      UpgradeRequest("Y2FwaXRhbCBTIGtleSEhIQ==", "WebSocket"),
      "GET / HTTP/1.1\r\nupgrade: websocket\r\nsec-websocket-key: bG93ZXIgY2FzZSBrZXkhIQ==\r\n\r\n",
  };
  for (const std::string& request : refused) {
    client.Send(request);
    // Several passes go by, each taking what has arrived: the request is examined on its own.
    const int seen = pendingPasses;
    ASSERT_TRUE(WaitFor([&] { return pendingPasses >= seen + 3; }));
  }
  client.Send(UpgradeRequest("Y29ycmVjdCBrZXkgaGVyZQ=="));
  const std::string expected = ResponseFor("Y29ycmVjdCBrZXkgaGVyZQ==");
  EXPECT_EQ(client.ReceiveExactly(expected.size()), expected);
  EXPECT_TRUE(client.NothingWithin(100ms));
  Server->SetActive(false);  // the handler refers to this test's locals
}

// The owner's read takes the request's first byte when it comes late; the next pass still finds
// the upgrade in the rest.
TEST_F(WebSocketServerTest, RequestArriving50msAfterTheConnection) {
  Server->OnExecute = Echo;
  Start();
  TLoopbackClient client(Port);
  std::this_thread::sleep_for(50ms);
  client.Send(UpgradeRequest("bGF0ZSByZXF1ZXN0IGtleQ=="));
  const std::string expected = ResponseFor("bGF0ZSByZXF1ZXN0IGtleQ==");
  EXPECT_EQ(client.ReceiveExactly(expected.size()), expected);
  client.Send(AsString(ClientFrame(0x81, TIdBytes{'l', 'a', 't', 'e'})));
  EXPECT_EQ(client.ReceiveExactly(6), ServerFrame("late"));
}

TEST_F(WebSocketServerTest, SecondRequestAfterTheUpgradeReachesTheFrameReader) {
  Server->OnExecute = Echo;
  Start();
  TLoopbackClient client(Port);
  client.Send(UpgradeRequest("Zmlyc3Qga2V5IGhlcmUhIQ=="));
  const std::string expected = ResponseFor("Zmlyc3Qga2V5IGhlcmUhIQ==");
  ASSERT_EQ(client.ReceiveExactly(expected.size()), expected);
  client.Send(UpgradeRequest("c2Vjb25kIGtleSBoZXJlIQ==") +
              AsString(ClientFrame(0x81, TIdBytes{'a', 'f', 't', 'e', 'r'})));
  EXPECT_EQ(client.ReceiveExactly(7), ServerFrame("after"));
  EXPECT_TRUE(client.NothingWithin(100ms));
}

TEST_F(WebSocketServerTest, ConcurrentHandshakesEachGetTheirOwnAccept) {
  Server->OnExecute = Echo;
  Start();
  constexpr int kClients = 8;
  std::vector<std::string> received(kClients);
  std::vector<std::string> expected(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    const std::string key = "Y2xpZW50IG51bWJlciAw" + std::to_string(i) + "==";
    expected[i] = ResponseFor(key);
    threads.emplace_back([&, i, key] {
      TLoopbackClient client(Port);
      client.Send(UpgradeRequest(key));
      received[i] = client.ReceiveExactly(expected[i].size());
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(received[i], expected[i]) << i;
}

// Broadcast frames large enough to need several sends go to a connection while its handshake
// writes the 101 response: the stream must still split into whole frames and one whole response.
TEST_F(WebSocketServerTest, ResponseAndBroadcastFramesNeverInterleave) {
  Start();
  const std::u16string payload(200000, u'b');
  std::atomic<bool> stop{false};
  std::thread broadcaster([&] {
    while (!stop) {
      {
        TIdListLock<TIdContext> contexts(Server->Contexts());
        for (TIdContext* context : contexts.Items())
          TWebSocketIOHandlerHelper(*context->Connection()->IOHandler()).WriteString(payload);
      }
      std::this_thread::sleep_for(1ms);
    }
  });

  TLoopbackClient client(Port);
  const std::string frame = ServerFrame(std::string(payload.begin(), payload.end()));
  const std::string response = ResponseFor("YnJvYWRjYXN0IGtleSEhIQ==");
  ASSERT_EQ(client.ReceiveExactly(frame.size()), frame);
  client.Send(UpgradeRequest("YnJvYWRjYXN0IGtleSEhIQ=="));
  bool sawResponse = false;
  int framesAfterResponse = 0;
  while (framesAfterResponse < 3) {
    const std::string first = client.ReceiveExactly(1);
    ASSERT_EQ(first.size(), 1u);
    if (first[0] == 'H') {
      ASSERT_FALSE(sawResponse);
      ASSERT_EQ(first + client.ReceiveExactly(response.size() - 1), response);
      sawResponse = true;
    } else {
      ASSERT_EQ(first + client.ReceiveExactly(frame.size() - 1), frame);
      if (sawResponse) ++framesAfterResponse;
    }
  }
  stop = true;
  broadcaster.join();
}

// A broadcast's list holds the live upgraded connections only: not one still waiting for its
// handshake, and not one that has gone (its handler is freed with it).
TEST_F(WebSocketServerTest, UpgradedHandlersAreTheLiveUpgradedConnections) {
  Server->OnExecute = Echo;
  Start();
  TLoopbackClient pending(Port);
  TLoopbackClient stays(Port);
  auto leaves = std::make_unique<TLoopbackClient>(Port);
  for (TLoopbackClient* client : {&stays, leaves.get()}) {
    client->Send(UpgradeRequest("dXBncmFkZWQgbGlzdCEhIQ=="));
    const std::string response = ResponseFor("dXBncmFkZWQgbGlzdCEhIQ==");
    ASSERT_EQ(client->ReceiveExactly(response.size()), response);
  }
  leaves.reset();
  // Until the server holds exactly the waiting connection and the one that stays.
  auto tags = [&] {
    std::vector<int32_t> listed;
    TIdListLock<TIdContext> contexts(Server->Contexts());
    for (TIdContext* context : contexts.Items())
      listed.push_back(context->Connection()->IOHandler()->Tag);
    std::sort(listed.begin(), listed.end());
    return listed;
  };
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (tags() != std::vector<int32_t>{-1, 1} && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  TIdListLock<TIdContext> contexts(Server->Contexts());
  ASSERT_EQ(contexts.Items().size(), 2u);
  ASSERT_EQ(Server->UpgradedHandlers().size(), 1u);
  const TIdIOHandler* listed = Server->UpgradedHandlers()[0];
  EXPECT_EQ(listed->Tag, 1);
  EXPECT_EQ(std::count_if(contexts.Items().begin(), contexts.Items().end(),
                          [&](TIdContext* AContext) {
                            return AContext->Connection()->IOHandler() == listed;
                          }),
            1);
}

// The owner destroys the server without deactivating it first, while handshakes and reads run.
TEST_F(WebSocketServerTest, DestroyedWhileConnectionsAreBusy) {
  Server->OnExecute = Echo;
  Start();
  std::vector<std::unique_ptr<TLoopbackClient>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::make_unique<TLoopbackClient>(Port));
    if (i % 2 == 0) clients.back()->Send(UpgradeRequest("ZGVzdHJveWVkIGtleSEhIQ=="));
  }
  const std::string expected = ResponseFor("ZGVzdHJveWVkIGtleSEhIQ==");
  ASSERT_EQ(clients[0]->ReceiveExactly(expected.size()), expected);
  Server.reset();
  for (auto& client : clients) EXPECT_TRUE(client->WaitForClose());
}

}  // namespace
