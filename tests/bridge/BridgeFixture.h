#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "FakeEngine.h"
#include "IntegerText.h"
#include "MainThreadQueue.h"
#include "Utf8Text.h"
#include "WebSocketServer.h"
#include "WsTestClient.h"
#include "uWSS.h"

class TRecordingLog : public ILogView {
 public:
  void AppendLine(const std::u16string& ALine) override { Lines.push_back(ToUtf8(ALine)); }
  std::vector<std::string> Lines;
};

class TRecordingCount : public ICountView {
 public:
  void SetText(const std::u16string& AText) override { Texts.push_back(ToUtf8(AText)); }
  std::vector<std::string> Texts;
};

// A bridge with a scripted engine, listening on a free loopback port, whose main thread is the
// test's thread: queued log lines and counts arrive when the test pumps the queue.
class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto engine = std::make_unique<TFakeEngine>();
    Engine = engine.get();
    Bridge = std::make_unique<TWebSocketServerForm>(Queue, std::move(engine));
    Bridge->edPort = u"0";
    Bridge->FormCreate();
    Bridge->SetMessagesLog(&Log);
    Bridge->SetClientsConnected(&Count);
    Port = Bridge->Server()->Bindings()[0].Port;
    Engine->TakeCalls();
  }
  void TearDown() override {
    if (Bridge) {
      Bridge->FormClose();
      Bridge.reset();
    }
    Queue.ProcessPending();
  }

  // Connects a client and waits until the bridge has logged it.
  std::unique_ptr<TWsTestClient> Connect(bool AHandshake = true) {
    const size_t connects = CountLines("Client Connected!");
    auto client = std::make_unique<TWsTestClient>(Port, AHandshake);
    EXPECT_TRUE(Queue.RunUntil([&] { return CountLines("Client Connected!") > connects; }));
    return client;
  }

  // Sends ACommand from one client and returns the reply it got, after checking that a second
  // client got the very same frame; nothing when either got none.
  std::optional<std::string> ReplyToEveryClient(const std::string& ACommand) {
    auto sender = Connect();
    auto other = Connect();
    sender->SendText(ACommand);
    const auto toSender = sender->ReceiveText();
    const auto toOther = other->ReceiveText();
    if (!toSender || !toOther) return std::nullopt;
    EXPECT_EQ(*toOther, *toSender);
    return toSender;
  }

  size_t CountLines(const std::string& AEnding) {
    size_t n = 0;
    for (const auto& line : Log.Lines)
      if (line.size() >= AEnding.size() &&
          line.compare(line.size() - AEnding.size(), AEnding.size(), AEnding) == 0)
        ++n;
    return n;
  }

  // The message part of each log line, after "[sender] - timestamp: : ".
  std::vector<std::string> Messages() {
    static const std::regex line(R"(^\[([^\]]*)\] - \d{4}-\d\d-\d\d \d\d:\d\d:\d\d: : (.*)$)");
    std::vector<std::string> messages;
    for (const auto& text : Log.Lines) {
      std::smatch m;
      if (std::regex_match(text, m, line))
        messages.push_back("[" + m[1].str() + "] " + m[2].str());
      else
        messages.push_back("MALFORMED: " + text);
    }
    return messages;
  }

  TLoopMainThreadQueue Queue;
  TRecordingLog Log;
  TRecordingCount Count;
  TFakeEngine* Engine = nullptr;
  std::unique_ptr<TWebSocketServerForm> Bridge;
  uint16_t Port = 0;
};
