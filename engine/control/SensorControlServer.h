#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "UniqueFd.h"
#include "UnixSocketListener.h"

// Serves the sensor's control socket on a thread of its own: reads command lines from any
// number of local clients and writes back the answer AHandler gives for each line. The
// handler may block (a touch waits for the main thread); it is handed the server's stop token
// so that destruction interrupts it. Raises EOleException when the socket cannot be set up.
class TSensorControlServer {
 public:
  using TLineHandler = std::function<std::string(std::string_view ALine, std::stop_token AStop)>;

  // Longest command line accepted; a client sending more is answered with an error and dropped.
  static constexpr std::size_t kMaxLineLength = 256;
  static constexpr std::size_t kMaxClients = 16;

  TSensorControlServer(std::string APath, TLineHandler AHandler);
  ~TSensorControlServer();
  TSensorControlServer(const TSensorControlServer&) = delete;
  TSensorControlServer& operator=(const TSensorControlServer&) = delete;

 private:
  struct TClient {
    TUniqueFd Socket;
    std::string Pending;
  };

  void Run(std::stop_token AStop);
  void AcceptClient();
  // False when the client is done or failed and should be dropped.
  bool ServeClient(TClient& AClient, std::stop_token AStop);
  bool AnswerLine(TClient& AClient, std::string_view ALine, std::stop_token AStop);

  TLineHandler FHandler;
  TUnixSocketListener FListener;
  TUniqueFd FWakeRead;
  TUniqueFd FWakeWrite;
  std::vector<TClient> FClients;  // used by the server thread only
  std::jthread FThread;           // last: joined before the members above go away
};
