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
  auto reader = Connect();
  std::vector<std::unique_ptr<TWsTestClient>> stalled;
  for (int i = 0; i < kStalled; ++i) stalled.push_back(Connect());
  {
    TIdListLock<TIdContext> contexts(Bridge->Server()->Contexts());
    ASSERT_EQ(contexts.Items().size(), size_t(kStalled + 1));
    for (TIdContext* context : contexts.Items())
      context->Connection()->IOHandler()->WriteTimeout = int(kBound.count());
  }
  // More than the kernel buffers of a client that reads nothing can hold.
  const std::u16string message(12 << 20, u'm');
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
  for (auto& client : stalled) EXPECT_TRUE(client->WaitForClose());
}

}  // namespace
