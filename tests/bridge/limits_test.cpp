#include <chrono>
#include <optional>
#include <thread>

#include "BridgeFixture.h"

namespace {

using namespace std::chrono_literals;

// No command comes near 1 MiB: a larger message is refused as it arrives, silently, and the
// connection goes on with the next frame.
TEST_F(BridgeTest, MessageAboveOneMebibyteIsDroppedAndTheNextOneAnswered) {
  auto client = Connect();
  const std::string padding(5 << 20, 'p');
  client->SendText(R"({"act":"verify","state":"big","pad":")" + padding + R"("})");
  client->SendText(R"({"act":"verify","state":"small"})");
  const auto reply = client->ReceiveText();
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find(R"("state":"small")"), std::string::npos) << reply->substr(0, 200);
}

// Clients that stopped reading hold a broadcast for one write bound in all, not one bound each
// one after another; the client that reads gets the message without waiting behind them, and
// every stalled client is dropped.
TEST_F(BridgeTest, StalledClientsHoldABroadcastForOneBoundInAll) {
  constexpr int kStalled = 5;
  constexpr auto kBound = 3000ms;
  // Small kernel buffers on both ends, so that a message of 1 MiB stalls a client that reads
  // nothing.
  constexpr int kSmallBuffer = 4096;
  auto reader = Connect();
  std::vector<std::unique_ptr<TWsTestClient>> stalled;
  for (int i = 0; i < kStalled; ++i) {
    stalled.push_back(Connect());
    ::setsockopt(stalled.back()->Socket().Fd(), SOL_SOCKET, SO_RCVBUF, &kSmallBuffer,
                 sizeof kSmallBuffer);
  }
  {
    TIdListLock<TIdContext> contexts(Bridge->Server()->Contexts());
    ASSERT_EQ(contexts.Items().size(), size_t(kStalled + 1));
    for (TIdContext* context : contexts.Items()) {
      context->Connection()->IOHandler()->WriteTimeout = int(kBound.count());
      ::setsockopt(context->Binding()->Handle(), SOL_SOCKET, SO_SNDBUF, &kSmallBuffer,
                   sizeof kSmallBuffer);
    }
  }
  const std::u16string message(1 << 20, u'm');
  std::optional<std::string> received;
  std::thread readerThread([&] { received = reader->ReceiveText(60s); });
  const auto start = std::chrono::steady_clock::now();
  Bridge->WebSocketSendDataToClients(message);
  const auto took = std::chrono::steady_clock::now() - start;
  readerThread.join();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->size(), message.size());
  // One bound per stalled client would take five; half a bound to spare for a loaded machine.
  EXPECT_LT(took, kBound * 5 / 2);
  // Dropped: their connections end, the reader's goes on.
  EXPECT_TRUE(Queue.RunUntil([&] { return Bridge->Server()->Contexts().Count() == 1; }));
}

}  // namespace
