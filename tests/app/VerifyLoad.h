#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "WsSession.h"

// Client threads that keep a server busy: each sends {"act":"verify"} with a state of its own,
// waits for the reply carrying that state, and sends again. When the server closes the
// connection the thread counts the close and connects again, to the port the test points it at.
// A reply that does not come while the connection stays open, or a malformed frame, is a failure.
class TVerifyLoad {
 public:
  TVerifyLoad(int ACount, uint16_t APort) : FPort(APort) {
    for (int i = 0; i < ACount; ++i) {
      TClient& client = FClients.emplace_back();
      client.Thread = std::thread([this, &client, i] { Run(client, i); });
    }
  }
  ~TVerifyLoad() {
    Stop();
    for (TClient& client : FClients) client.Thread.join();
  }
  TVerifyLoad(const TVerifyLoad&) = delete;
  TVerifyLoad& operator=(const TVerifyLoad&) = delete;

  // Where the clients connect from their next attempt on.
  void SetPort(uint16_t APort) { FPort = APort; }

  // Every client holds a connection to APort and has had at least AReplies replies on it.
  bool AllAnsweredOn(uint16_t APort, int AReplies = 1) const {
    for (const TClient& client : FClients)
      if (client.Port.load() != APort || client.Replies.load() < AReplies) return false;
    return true;
  }

  std::vector<int> Closes() const {
    std::vector<int> closes;
    for (const TClient& client : FClients) closes.push_back(client.Closes.load());
    return closes;
  }

  // Every client has seen a close since ABefore (from Closes()) and answers on APort again.
  bool AllReconnectedTo(uint16_t APort, const std::vector<int>& ABefore) const {
    size_t i = 0;
    for (const TClient& client : FClients)
      if (client.Closes.load() <= ABefore[i++]) return false;
    return AllAnsweredOn(APort);
  }

  // The threads end after their current exchange.
  void Stop() { FStop = true; }
  bool AllEnded() const {
    for (const TClient& client : FClients)
      if (!client.Ended.load()) return false;
    return true;
  }

  std::vector<std::string> TakeFailures() {
    std::lock_guard lock(FFailuresLock);
    std::vector<std::string> failures;
    failures.swap(FFailures);
    return failures;
  }

 private:
  struct TClient {
    std::thread Thread;
    // Port of the current upgraded connection, 0 between connections. Cleared, with Replies,
    // before Closes counts the close, so that a reader who sees the new count sees them reset.
    std::atomic<uint16_t> Port{0};
    std::atomic<int> Replies{0};
    std::atomic<int> Closes{0};
    std::atomic<bool> Ended{false};
  };

  void Run(TClient& AClient, int AIndex) {
    const std::string name = "w" + std::to_string(AIndex);
    uint64_t sequence = 0;
    while (!FStop) {
      const uint16_t port = FPort;
      std::unique_ptr<TWsSession> session;
      try {
        session = std::make_unique<TWsSession>(port);
      } catch (const std::runtime_error&) {
        // Refused while the server moves: try again shortly.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      const TWsWait upgraded = session->Handshake();
      if (upgraded == TWsWait::Done) {
        AClient.Port = port;
        Exchange(AClient, *session, name, sequence);
      } else if (upgraded != TWsWait::Closed) {
        Fail(name + ": handshake on port " + std::to_string(port) +
             (upgraded == TWsWait::TimedOut ? " got no response" : " got a wrong response"));
      }
      AClient.Port = 0;
      AClient.Replies = 0;
      if (!FStop) ++AClient.Closes;
    }
    AClient.Ended = true;
  }

  // Commands and replies until the connection ends or the load stops.
  void Exchange(TClient& AClient, TWsSession& ASession, const std::string& AName,
                uint64_t& ASequence) {
    while (!FStop) {
      const std::string state = AName + "-" + std::to_string(++ASequence);
      if (!ASession.SendText(R"({"act":"verify","state":")" + state + R"("})")) return;
      std::string reply;
      const TWsWait got = ASession.FrameWith("\"state\":\"" + state + "\"", reply);
      if (got == TWsWait::Closed) return;
      if (got != TWsWait::Done) {
        Fail(AName + (got == TWsWait::TimedOut ? ": no reply to " : ": malformed frame before ") +
             state);
        return;
      }
      const std::string expected =
          R"({"event":"Verify Mode","status":"success","message":"Switched to Verify(1:1) mode","state":")" +
          state + "\",";
      if (reply.rfind(expected, 0) != 0) {
        Fail(AName + ": unexpected reply " + reply);
        return;
      }
      ++AClient.Replies;
    }
  }

  void Fail(std::string AText) {
    std::lock_guard lock(FFailuresLock);
    FFailures.push_back(std::move(AText));
  }

  std::atomic<uint16_t> FPort;
  std::atomic<bool> FStop{false};
  std::list<TClient> FClients;  // stable addresses for the threads
  std::mutex FFailuresLock;
  std::vector<std::string> FFailures;  // guarded by FFailuresLock
};
