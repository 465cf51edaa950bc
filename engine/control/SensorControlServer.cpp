#include "SensorControlServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <system_error>

#include "NqFPEngXControl_TLB.h"
#include "SensorControlProtocol.h"

namespace {

constexpr std::size_t kReadChunk = 512;

// Client sockets are non-blocking: a client that stops reading is dropped instead of stalling
// the server thread.
bool SendAll(int AFd, std::string_view AData) {
  while (!AData.empty()) {
    const ssize_t sent = ::send(AFd, AData.data(), AData.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    AData.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Answers travel as one line: anything that could break it up is replaced.
std::string OneLine(std::string AText) {
  for (char& c : AText) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return AText;
}

}  // namespace

TSensorControlServer::TSensorControlServer(std::string APath, TLineHandler AHandler)
    : FHandler(std::move(AHandler)), FListener(std::move(APath)) {
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw EOleException("Sensor control socket: cannot create a pipe (" +
                        std::system_category().message(errno) + ")");
  }
  FWakeRead.Reset(wake[0]);
  FWakeWrite.Reset(wake[1]);
  FThread = std::jthread([this](std::stop_token AStop) { Run(AStop); });
}

TSensorControlServer::~TSensorControlServer() {
  FThread.request_stop();
  const char wake = 'x';
  static_cast<void>(::write(FWakeWrite.Get(), &wake, 1));
  FThread.join();
}

void TSensorControlServer::Run(std::stop_token AStop) {
  std::vector<pollfd> polled;
  while (!AStop.stop_requested()) {
    polled.assign({{FWakeRead.Get(), POLLIN, 0}, {FListener.Fd(), POLLIN, 0}});
    for (const TClient& client : FClients) polled.push_back({client.Socket.Get(), POLLIN, 0});
    if (::poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (polled[0].revents != 0 || (polled[1].revents & (POLLERR | POLLNVAL)) != 0) return;
    // Serve before accepting, while FClients still lines up with polled.
    for (std::size_t i = FClients.size(); i-- > 0;) {
      if (polled[i + 2].revents != 0 && !ServeClient(FClients[i], AStop)) {
        FClients.erase(FClients.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    if ((polled[1].revents & POLLIN) != 0) AcceptClient();
  }
}

void TSensorControlServer::AcceptClient() {
  TUniqueFd socket(::accept4(FListener.Fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!socket.Valid()) return;
  if (FClients.size() >= kMaxClients) {
    SendAll(socket.Get(), ErrorAnswer("too many control connections") + "\n");
    return;
  }
  FClients.push_back({std::move(socket), {}});
}

bool TSensorControlServer::ServeClient(TClient& AClient, std::stop_token AStop) {
  char buffer[kReadChunk];
  const ssize_t received = ::recv(AClient.Socket.Get(), buffer, sizeof(buffer), 0);
  if (received < 0) return errno == EAGAIN || errno == EINTR;
  if (received == 0) {
    // A last line without its newline still gets its answer.
    if (!AClient.Pending.empty()) AnswerLine(AClient, AClient.Pending, AStop);
    return false;
  }
  AClient.Pending.append(buffer, static_cast<std::size_t>(received));
  std::size_t end;
  while ((end = AClient.Pending.find('\n')) != std::string::npos) {
    const std::string line = AClient.Pending.substr(0, end);
    AClient.Pending.erase(0, end + 1);
    if (!AnswerLine(AClient, line, AStop)) return false;
  }
  if (AClient.Pending.size() > kMaxLineLength) {
    SendAll(AClient.Socket.Get(), ErrorAnswer("line too long") + "\n");
    return false;
  }
  return true;
}

bool TSensorControlServer::AnswerLine(TClient& AClient, std::string_view ALine,
                                      std::stop_token AStop) {
  std::string answer;
  if (ALine.size() > kMaxLineLength) {
    answer = ErrorAnswer("line too long");
  } else {
    try {
      answer = FHandler(ALine, AStop);
    } catch (const std::exception& error) {
      answer = ErrorAnswer(error.what());
    }
  }
  return SendAll(AClient.Socket.Get(), OneLine(std::move(answer)) + "\n") &&
         !AStop.stop_requested();
}
