#include "SensorControlClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "UniqueFd.h"

namespace {

[[noreturn]] void Fail(const std::string& AWhat, int AError) {
  throw ESensorControlUnavailable(AWhat + ": " + std::system_category().message(AError));
}

TUniqueFd Connect(const std::string& APath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (APath.size() >= sizeof(address.sun_path)) {
    throw ESensorControlUnavailable("socket path too long: " + APath);
  }
  std::memcpy(address.sun_path, APath.c_str(), APath.size() + 1);
  TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) Fail("cannot create a socket", errno);
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    Fail("cannot connect to " + APath, errno);
  }
  return socket;
}

}  // namespace

std::string SendSensorCommand(const std::string& ASocketPath, std::string_view ACommand,
                              std::chrono::milliseconds ATimeout) {
  const TUniqueFd socket = Connect(ASocketPath);
  std::string request(ACommand);
  request.push_back('\n');
  std::string_view unsent = request;
  while (!unsent.empty()) {
    const ssize_t sent = ::send(socket.Get(), unsent.data(), unsent.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Fail("cannot send the command", errno);
    }
    unsent.remove_prefix(static_cast<std::size_t>(sent));
  }

  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  std::string answer;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw ESensorControlUnavailable("no answer in time");
    pollfd polled{socket.Get(), POLLIN, 0};
    const int ready = ::poll(&polled, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) Fail("cannot wait for the answer", errno);
    if (ready <= 0) continue;
    char buffer[256];
    const ssize_t received = ::recv(socket.Get(), buffer, sizeof(buffer), 0);
    if (received < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read the answer", errno);
    }
    if (received == 0) throw ESensorControlUnavailable("connection closed without an answer");
    answer.append(buffer, static_cast<std::size_t>(received));
    if (const auto end = answer.find('\n'); end != std::string::npos) {
      answer.resize(end);
      return answer;
    }
  }
}
