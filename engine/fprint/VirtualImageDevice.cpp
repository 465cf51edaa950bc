#include "VirtualImageDevice.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "SensorSocketPath.h"
#include "UniqueFd.h"

namespace {

constexpr int32_t kFingerCommand = -4;
constexpr int32_t kRetryCommand = -1;
constexpr int32_t kErrorCommand = -2;
constexpr int32_t kUnplugCommand = -5;
// Between attempts to reach a reader that is still opening.
constexpr std::chrono::milliseconds kConnectPause{20};

[[noreturn]] void Fail(const std::string& AWhat, int AError) {
  throw EVirtualImageDevice(AWhat + ": " + std::system_category().message(AError));
}

TUniqueFd Connect(const std::string& APath, std::chrono::milliseconds ATimeout) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (APath.size() >= sizeof(address.sun_path)) {
    throw EVirtualImageDevice("socket path too long: " + APath);
  }
  std::memcpy(address.sun_path, APath.c_str(), APath.size() + 1);
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  for (;;) {
    TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) Fail("cannot create a socket", errno);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
        0) {
      return socket;
    }
    const int error = errno;
    if (std::chrono::steady_clock::now() >= deadline) {
      Fail("virtual reader not listening at " + APath, error);
    }
    std::this_thread::sleep_for(kConnectPause);
  }
}

void SendAll(int AFd, std::span<const uint8_t> ABytes) {
  while (!ABytes.empty()) {
    const ssize_t sent = ::send(AFd, ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Fail("cannot send to the virtual reader", errno);
    }
    ABytes = ABytes.subspan(static_cast<size_t>(sent));
  }
}

}  // namespace

std::string DefaultVirtualImageSocketPath() {
  const char* named = std::getenv("FP_VIRTUAL_IMAGE");
  if (named != nullptr && *named != '\0') return named;
  return (std::filesystem::path(DefaultSensorSocketPath()).parent_path() / "virtual-image.sock")
      .string();
}

TVirtualImageDevice::TVirtualImageDevice(std::string ASocketPath,
                                         std::chrono::milliseconds AConnectTimeout)
    : FSocketPath(std::move(ASocketPath)), FConnectTimeout(AConnectTimeout) {}

void TVirtualImageDevice::Press(const TGreyImage& AImage) {
  if (AImage.Width <= 0 || AImage.Height <= 0 ||
      AImage.Pixels.size() != static_cast<size_t>(AImage.Width) * AImage.Height) {
    throw EVirtualImageDevice("image size does not match its pixels");
  }
  Send(AImage.Width, AImage.Height, AImage.Pixels);
}

void TVirtualImageDevice::SetFinger(bool APresent) { Send(kFingerCommand, APresent ? 1 : 0); }

void TVirtualImageDevice::Retry(int32_t ACode) { Send(kRetryCommand, ACode); }

void TVirtualImageDevice::Unplug() { Send(kUnplugCommand, 0); }

void TVirtualImageDevice::Fail(int32_t ACode) { Send(kErrorCommand, ACode); }

void TVirtualImageDevice::Send(int32_t AFirst, int32_t ASecond, std::span<const uint8_t> APayload) {
  const TUniqueFd socket = Connect(FSocketPath, FConnectTimeout);
  const int32_t header[2] = {AFirst, ASecond};
  SendAll(socket.Get(), {reinterpret_cast<const uint8_t*>(header), sizeof(header)});
  SendAll(socket.Get(), APayload);
}
