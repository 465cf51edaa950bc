// The bridge with the simulated engine: what a page loads back is identified like an enrolment.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "FingerMatcher.h"
#include "FingerTemplate.h"
#include "MainThreadQueue.h"
#include "MinutiaeTemplate.h"
#include "SimulatedFPEngX.h"
#include "Utf8Text.h"
#include "WebSocketServer.h"
#include "WsTestClient.h"
#include "uWSS.h"

namespace {

TEST(SimulatedLoadTest, ALoadedTemplateIsIdentifiedAndAReaderTemplateRefused) {
  TLoopMainThreadQueue queue;
  auto engine = std::make_unique<TSimulatedFPEngX>(queue, std::string());
  TSimulatedFPEngX& sensor = *engine;
  TWebSocketServerForm bridge(queue, std::move(engine));
  bridge.edPort = std::u16string(u"0");  // assigned as a string: GCC 12 warns about the literal
  bridge.FormCreate();
  TWsTestClient client(bridge.Server()->Bindings()[0].Port);
  client.SendText(R"({"act":"init","state":"i"})");
  ASSERT_TRUE(client.ReceiveText());

  const std::string simulated =
      ToUtf8(EncodeTemplate(SimulatePress(5, 90, 1), TTemplateFormat::V10));
  const std::string reader = ToUtf8(EncodeMinutiaeTemplate({320, 480, 60, {{10, 20, 1}}}, 10));
  client.SendText(R"({"act":"load","state":"l","templates":[")" + simulated + R"(",")" + reader +
                  R"("]})");
  const auto loaded = client.ReceiveText();
  ASSERT_TRUE(loaded);
  EXPECT_NE(
      loaded->find(
          R"("status":"fail","message":"Loaded 1 of 2 templates","ids":[1,-1],"reasons":["","not a simulated sensor template"],"state":"l",)"),
      std::string::npos)
      << *loaded;

  client.SendText(R"({"act":"identify","state":"f"})");
  ASSERT_TRUE(client.ReceiveText());
  std::atomic<bool> touched = false;
  std::thread([&] {
    sensor.Touch(5, 80, false, [&](const TTouchResult&) { touched = true; });
  }).join();
  ASSERT_TRUE(queue.RunUntil([&] { return touched.load(); }));
  const auto scan = client.ReceiveText();
  const auto identified = client.ReceiveText();
  ASSERT_TRUE(scan && identified);
  EXPECT_NE(identified->find(R"("event":"Identify","status":"success")"), std::string::npos)
      << *identified;
  EXPECT_NE(identified->find(R"("id":1,)"), std::string::npos) << *identified;
  bridge.FormClose();
  queue.ProcessPending();
}

}  // namespace
