// Reference server built the way the bridge is built, with nothing else in it: one thread per
// connection reading with blocking calls, and a broadcast that writes every upgraded client with
// blocking sends while it holds the one connection-list lock. It answers the opening handshake and
// {"act":"verify","state":S} with the bridge's reply to every client. What it costs is the floor
// of that design; the product is measured against it.
//
// Usage: ref_minimal_server PORT  (listens on 127.0.0.1; SIGTERM or SIGINT stops it)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Base64.h"
#include "IdHashSHA1.h"
#include "VerifyReply.h"

namespace {

// As long as the system allows, like the product and Boost.Asio: a short queue drops the SYNs of a
// burst of connects, and the figure would then show the kernel's retry delay, not the server.
constexpr int kListenQueue = SOMAXCONN;
constexpr int kSendTimeoutSeconds = 5;
constexpr size_t kMaxRequestBytes = 16384;
constexpr size_t kMaxPayloadBytes = 1 << 20;
constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::atomic<bool> gStop{false};

void OnStopSignal(int) {
  gStop = true;
}

class TUniqueFd {
 public:
  explicit TUniqueFd(int AFd = -1) : FFd(AFd) {}
  ~TUniqueFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

bool SendAll(int AFd, const char* AData, size_t ALength) {
  while (ALength > 0) {
    const ssize_t n = ::send(AFd, AData, ALength, MSG_NOSIGNAL);
    if (n <= 0) return false;
    AData += n;
    ALength -= size_t(n);
  }
  return true;
}

std::string TextFrame(std::string_view APayload) {
  std::string frame;
  frame.reserve(APayload.size() + 10);
  frame.push_back(char(0x81));
  const uint64_t n = APayload.size();
  if (n <= 125) {
    frame.push_back(char(n));
  } else if (n <= 0xFFFF) {
    frame.push_back(char(126));
    frame.push_back(char(n >> 8));
    frame.push_back(char(n));
  } else {
    frame.push_back(char(127));
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(char(n >> shift));
  }
  frame.append(APayload);
  return frame;
}

// The value of one header line, exactly as the product matches it (case-sensitive, ": ").
std::string_view HeaderValue(std::string_view ARequest, std::string_view AName) {
  const std::string needle = "\r\n" + std::string(AName) + ": ";
  const size_t start = ARequest.find(needle);
  if (start == std::string_view::npos) return {};
  const size_t valueStart = start + needle.size();
  const size_t end = ARequest.find("\r\n", valueStart);
  std::string_view value = ARequest.substr(valueStart, end - valueStart);
  while (!value.empty() && uint8_t(value.back()) <= ' ') value.remove_suffix(1);
  while (!value.empty() && uint8_t(value.front()) <= ' ') value.remove_prefix(1);
  return value;
}

class TServer {
 public:
  // Connection thread: handshake, then one message at a time until the peer goes.
  void Serve(int AFd) {
    std::string input;
    if (Handshake(AFd, input)) ReadMessages(AFd, input);
    std::lock_guard<std::mutex> lock(FListLock);
    FUpgraded.erase(std::remove(FUpgraded.begin(), FUpgraded.end(), AFd), FUpgraded.end());
  }

  void Broadcast(std::string_view APayload) {
    const std::string frame = TextFrame(APayload);
    std::lock_guard<std::mutex> lock(FListLock);
    for (int fd : FUpgraded) SendAll(fd, frame.data(), frame.size());
  }

 private:
  static bool Fill(int AFd, std::string& AInput) {
    char chunk[16384];
    const ssize_t n = ::recv(AFd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    AInput.append(chunk, size_t(n));
    return true;
  }

  bool Handshake(int AFd, std::string& AInput) {
    size_t end;
    while ((end = AInput.find("\r\n\r\n")) == std::string::npos) {
      if (AInput.size() > kMaxRequestBytes || !Fill(AFd, AInput)) return false;
    }
    const std::string_view request(AInput.data(), end + 2);
    const std::string_view key = HeaderValue(request, "Sec-WebSocket-Key");
    if (HeaderValue(request, "Upgrade") != "websocket" || key.empty()) return false;
    const std::string keyed = std::string(key) + std::string(kAcceptGuid);
    const auto digest =
        TIdHashSHA1().HashBytes(reinterpret_cast<const uint8_t*>(keyed.data()), keyed.size());
    const std::string response =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Accept: " +
        Base64Encode(digest.data(), digest.size()) + "\r\n\r\n";
    AInput.erase(0, end + 4);
    // Listed in the same step as the response is sent, so no broadcast frame can precede it.
    std::lock_guard<std::mutex> lock(FListLock);
    if (!SendAll(AFd, response.data(), response.size())) return false;
    FUpgraded.push_back(AFd);
    return true;
  }

  void ReadMessages(int AFd, std::string& AInput) {
    for (;;) {
      while (AInput.size() < 2)
        if (!Fill(AFd, AInput)) return;
      const uint8_t first = uint8_t(AInput[0]);
      uint64_t length = uint8_t(AInput[1]) & 0x7F;
      size_t header = 2;
      if (length == 126) header = 4;
      if (length == 127) header = 10;
      header += 4;  // masking key
      while (AInput.size() < header)
        if (!Fill(AFd, AInput)) return;
      if (header >= 8) {
        length = 0;
        for (size_t i = 2; i < header - 4; ++i) length = length << 8 | uint8_t(AInput[i]);
      }
      if (length > kMaxPayloadBytes) return;
      while (AInput.size() < header + length)
        if (!Fill(AFd, AInput)) return;
      if ((first & 0x0F) == 0x8) return;  // close
      char* payload = AInput.data() + header;
      const char* key = payload - 4;
      for (size_t i = 0; i < length; ++i) payload[i] ^= key[i & 3];
      if (first == 0x81) Handle(std::string_view(payload, length));
      AInput.erase(0, header + length);
    }
  }

  void Handle(std::string_view AMessage) {
    if (AMessage.find(R"("act":"verify")") == std::string_view::npos) return;
    Broadcast(VerifyReply(StateOf(AMessage)));
  }

  std::mutex FListLock;
  std::vector<int> FUpgraded;  // guarded by FListLock
};

// One accepted connection. The socket is closed only after its thread has been joined, so the
// descriptor cannot be reused while the broadcast might still write to it.
struct TConnection {
  explicit TConnection(int AFd) : Socket(AFd) {}
  ~TConnection() {
    if (Thread.joinable()) Thread.join();
  }
  TUniqueFd Socket;
  std::atomic<bool> Done{false};
  std::thread Thread;
};

int Listen(int APort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(APort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, kListenQueue) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGPIPE, SIG_IGN);
  const TUniqueFd listener(Listen(std::atoi(argv[1])));
  if (listener.Get() < 0) {
    std::perror("ref_minimal_server: listen");
    return 1;
  }

  TServer server;
  std::list<std::unique_ptr<TConnection>> connections;
  while (!gStop) {
    connections.remove_if([](const std::unique_ptr<TConnection>& c) { return c->Done.load(); });
    pollfd ready{listener.Get(), POLLIN, 0};
    if (::poll(&ready, 1, 200) <= 0) continue;
    const int fd = ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval sendTimeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    auto& connection = connections.emplace_back(std::make_unique<TConnection>(fd));
    TConnection* c = connection.get();
    c->Thread = std::thread([&server, c] {
      server.Serve(c->Socket.Get());
      c->Done = true;
    });
  }
  for (auto& c : connections) ::shutdown(c->Socket.Get(), SHUT_RDWR);
  connections.clear();
  return 0;
}
