// The longest freeze of the main thread while sensor events go out to clients of which some have
// stopped reading. Each event is broadcast on the main thread, as the engine reports it, until
// every stalled client has been dropped; the figure is the longest single broadcast call, next to
// the write bound of one connection. Usage: broadcast_stall [stalled clients, default 5]

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "IdCustomTCPServer.h"
#include "IdIOHandler.h"
#include "MainThreadQueue.h"
#include "SimulatedFPEngX.h"
#include "WebSocketServer.h"
#include "WsTestClient.h"
#include "uWSS.h"

namespace {

using Clock = std::chrono::steady_clock;

// An event of the size of an "Enrollment Finish" with its template.
const std::u16string kEvent =
    u"{\"event\":\"Enrollment Finish\",\"template\":\"" + std::u16string(4000, u'T') + u"\"}";

}  // namespace

int main(int argc, char* argv[]) {
  const int stalledCount = argc > 1 ? std::atoi(argv[1]) : 5;
  TLoopMainThreadQueue queue;
  TWebSocketServerForm bridge(queue, std::make_unique<TSimulatedFPEngX>(queue, ""));
  bridge.edPort = u"0";
  bridge.FormCreate();
  const uint16_t port = bridge.Server()->Bindings()[0].Port;

  TWsTestClient reader(port);
  std::vector<std::unique_ptr<TWsTestClient>> stalled;
  for (int i = 0; i < stalledCount; ++i) stalled.push_back(std::make_unique<TWsTestClient>(port));
  while (bridge.Server()->Contexts().Count() < stalledCount + 1) queue.ProcessPending();

  std::atomic<bool> done{false};
  std::atomic<int> received{0};
  std::thread readerThread([&] {
    while (!done)
      if (reader.ReceiveText(std::chrono::milliseconds(100))) ++received;
  });

  const auto ms = [](Clock::duration ADuration) {
    return std::chrono::duration<double, std::milli>(ADuration).count();
  };
  constexpr int kMaxEvents = 200000;
  int events = 0;
  Clock::duration longest{};
  // Calls held up by a stalled client: one per client when they stall at different events.
  int heldUp = 0;
  Clock::duration heldUpTotal{};
  const auto start = Clock::now();
  while (events < kMaxEvents && bridge.Server()->Contexts().Count() > 1) {
    const auto before = Clock::now();
    bridge.WebSocketSendDataToClients(kEvent);
    ++events;
    const auto took = Clock::now() - before;
    longest = std::max(longest, took);
    if (took > std::chrono::seconds(1)) {
      ++heldUp;
      std::printf("event %d held the main thread %.0f ms\n", events, ms(took));
      heldUpTotal += took;
    }
    queue.ProcessPending();
  }
  const auto total = Clock::now() - start;
  while (received < events && Clock::now() - start < total + std::chrono::seconds(30))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  done = true;
  readerThread.join();

  std::printf(
      "stalled clients %d: %d events in %.0f ms, all stalled dropped: %s, reader got %d of %d, "
      "longest main-thread freeze %.0f ms (write bound %d ms), calls over 1 s: %d (%.0f ms)\n",
      stalledCount, events, ms(total), events < kMaxEvents ? "yes" : "no", received.load(), events,
      ms(longest), TIdIOHandler::kDefaultWriteTimeout, heldUp, ms(heldUpTotal));
  bridge.FormClose();
  return 0;
}
