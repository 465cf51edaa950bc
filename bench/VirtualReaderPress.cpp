#include "VirtualReaderPress.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <system_error>

namespace {

[[noreturn]] void Fail(const std::string& AWhat) {
  throw std::runtime_error(AWhat + ": " + std::system_category().message(errno));
}

struct TSocket {
  int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  TSocket() = default;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  ~TSocket() {
    if (Fd >= 0) ::close(Fd);
  }
};

void SendAll(int AFd, std::span<const uint8_t> ABytes) {
  while (!ABytes.empty()) {
    const ssize_t sent = ::send(AFd, ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) Fail("cannot write to the virtual reader");
    ABytes = ABytes.subspan(static_cast<std::size_t>(sent));
  }
}

}  // namespace

void PressVirtualReader(const std::string& ASocketPath, const TGreyImage& AImage) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (ASocketPath.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
  std::memcpy(address.sun_path, ASocketPath.c_str(), ASocketPath.size() + 1);
  const TSocket socket;
  if (socket.Fd < 0) Fail("cannot create a socket");
  if (::connect(socket.Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Fail("virtual reader not listening at " + ASocketPath);
  }
  const int32_t header[2] = {AImage.Width, AImage.Height};
  SendAll(socket.Fd, {reinterpret_cast<const uint8_t*>(header), sizeof header});
  SendAll(socket.Fd, AImage.Pixels);
}
