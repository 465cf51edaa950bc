// Load client for the WebSocket servers under bench/. One epoll thread drives every client
// connection; each opening handshake is checked (status 101 and the Sec-WebSocket-Accept value,
// computed here independently of the servers). It measures, per server:
//   - handshakes per second (a window of handshakes in flight, so no listen queue overflows), and
//     handshakes per second of bursts: every client of a burst connects at once;
//   - broadcast latency: from one client sending {"act":"verify","state":S} until every client
//     holds the reply, for several client counts;
//   - commands per second with K senders, each sending its next command when its own reply
//     arrives; for a server with a log file, also until the log has caught up with them;
//   - broadcast latency with a few active clients while many connections stay silent (they never
//     send their upgrade request);
//   - CPU per command, threads, RSS and peak RSS (from /proc/PID), and the idle cost with many
//     upgraded clients and with many connections that never handshake.
// Before measuring, every server may be sent a number of commands, so that a server with a log
// is measured with a log that already holds many lines, as it is after a while in real use.
// Servers are measured in turn, block by block, so the noise of a shared machine falls on all of
// them alike. Prints a table with ratios to the base server and one JSON line.
//
// Usage: load_client [options] NAME=PORT:PID[:LOGFILE]...   (see Usage() below)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

double SecondsBetween(TimePoint AFrom, TimePoint ATo) {
  return std::chrono::duration<double>(ATo - AFrom).count();
}
TimePoint After(double ASeconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ASeconds));
}
void SleepSeconds(double ASeconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(ASeconds));
}

// ---------------------------------------------------------------------------------------------
// SHA-1 and Base64, to check each server's Sec-WebSocket-Accept without trusting its own code.

std::array<uint8_t, 20> Sha1(std::string_view AData) {
  uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::string message(AData);
  const uint64_t bitLength = uint64_t(AData.size()) * 8;
  message.push_back(char(0x80));
  while (message.size() % 64 != 56) message.push_back('\0');
  for (int shift = 56; shift >= 0; shift -= 8) message.push_back(char(bitLength >> shift));
  auto rotl = [](uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
  for (size_t block = 0; block < message.size(); block += 64) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      const auto* p = reinterpret_cast<const uint8_t*>(message.data() + block + 4 * i);
      w[i] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t t = rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = rotl(b, 30);
      b = a;
      a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }
  std::array<uint8_t, 20> digest;
  for (int i = 0; i < 20; ++i) digest[i] = uint8_t(h[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

std::string Base64(const uint8_t* AData, size_t ALength) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < ALength; i += 3) {
    const uint32_t n = uint32_t(AData[i]) << 16 | (i + 1 < ALength ? AData[i + 1] << 8 : 0) |
                       (i + 2 < ALength ? AData[i + 2] : 0);
    out.push_back(kAlphabet[n >> 18 & 63]);
    out.push_back(kAlphabet[n >> 12 & 63]);
    out.push_back(i + 1 < ALength ? kAlphabet[n >> 6 & 63] : '=');
    out.push_back(i + 2 < ALength ? kAlphabet[n & 63] : '=');
  }
  return out;
}

std::string AcceptFor(const std::string& AKey) {
  const auto digest = Sha1(AKey + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
  return Base64(digest.data(), digest.size());
}

// ---------------------------------------------------------------------------------------------
// The server process as /proc shows it.

struct TProcSample {
  bool Alive = false;
  double CpuSeconds = 0;  // user + system, all threads
  int Threads = 0;
  long RssKiB = 0;
  long PeakRssKiB = 0;
};

TProcSample ReadProc(pid_t APid) {
  TProcSample sample;
  std::ifstream stat("/proc/" + std::to_string(APid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return sample;
  const size_t commEnd = line.rfind(')');
  if (commEnd == std::string::npos) return sample;
  std::istringstream fields(line.substr(commEnd + 2));
  std::string field;
  // Counted from the state (field 3): utime is field 14 and stime field 15.
  double ticks = 0;
  for (int index = 3; index <= 15 && (fields >> field); ++index) {
    if (index == 3 && (field == "Z" || field == "X")) return sample;
    if (index == 14 || index == 15) ticks += std::atof(field.c_str());
  }
  sample.CpuSeconds = ticks / double(::sysconf(_SC_CLK_TCK));
  std::ifstream status("/proc/" + std::to_string(APid) + "/status");
  while (std::getline(status, line)) {
    if (line.rfind("Threads:", 0) == 0) sample.Threads = std::atoi(line.c_str() + 8);
    if (line.rfind("VmRSS:", 0) == 0) sample.RssKiB = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) sample.PeakRssKiB = std::atol(line.c_str() + 6);
  }
  sample.Alive = sample.Threads > 0;
  return sample;
}

// Starts the peak RSS (VmHWM) afresh from the current RSS.
void ResetPeakRss(pid_t APid) {
  std::ofstream clearRefs("/proc/" + std::to_string(APid) + "/clear_refs");
  clearRefs << "5";
}

// Waits until the thread count has not changed for AStableSeconds, or until the deadline.
void WaitThreadsStable(pid_t APid, double AStableSeconds, double ATimeout) {
  const TimePoint deadline = After(ATimeout);
  int last = ReadProc(APid).Threads;
  TimePoint since = Clock::now();
  while (Clock::now() < deadline && SecondsBetween(since, Clock::now()) < AStableSeconds) {
    SleepSeconds(0.05);
    const int now = ReadProc(APid).Threads;
    if (now != last) {
      last = now;
      since = Clock::now();
    }
  }
}

// Waits until the server has let go of the connections of the last block: its thread count is back
// to its idle value (thread-per-connection servers), or has stopped changing (a toolkit may keep
// a pooled thread a while longer).
void WaitThreadsBack(pid_t APid, int ABaseline, double ATimeout) {
  const TimePoint deadline = After(ATimeout);
  int last = -1;
  TimePoint since = Clock::now();
  while (Clock::now() < deadline) {
    const TProcSample sample = ReadProc(APid);
    if (!sample.Alive || sample.Threads <= ABaseline) break;
    if (sample.Threads != last) {
      last = sample.Threads;
      since = Clock::now();
    } else if (SecondsBetween(since, Clock::now()) >= 1) {
      break;
    }
    SleepSeconds(0.02);
  }
  SleepSeconds(0.1);
}

// ---------------------------------------------------------------------------------------------
// Counts the log lines of verify replies that a server has written so far.

class TLogWatch {
 public:
  static constexpr std::string_view kReplyLine = "Verify Mode success";

  explicit TLogWatch(std::string APath) : FPath(std::move(APath)) {}
  bool Enabled() const { return !FPath.empty(); }

  long Count() {
    std::ifstream file(FPath, std::ios::binary);
    if (!file) return FCount;
    file.seekg(FOffset);
    std::string chunk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    FOffset += std::streamoff(chunk.size());
    FPartial += chunk;
    const size_t lastNewline = FPartial.rfind('\n');
    if (lastNewline == std::string::npos) return FCount;
    const std::string_view complete(FPartial.data(), lastNewline + 1);
    for (size_t at = complete.find(kReplyLine); at != std::string_view::npos;
         at = complete.find(kReplyLine, at + kReplyLine.size()))
      ++FCount;
    FPartial.erase(0, lastNewline + 1);
    return FCount;
  }

  // True when AExpected reply lines are in the log before the deadline.
  bool WaitFor(long AExpected, TimePoint ADeadline) {
    while (Count() < AExpected) {
      if (Clock::now() >= ADeadline) return false;
      SleepSeconds(0.002);
    }
    return true;
  }

 private:
  std::string FPath;
  std::streamoff FOffset = 0;
  long FCount = 0;
  std::string FPartial;
};

// ---------------------------------------------------------------------------------------------
// Client connections.

constexpr std::string_view kReplyHead =
    R"({"event":"Verify Mode","status":"success","message":"Switched to Verify(1:1) mode","state":")";
constexpr std::string_view kReplyTail =
    R"(","sensor_count":1,"sensor_index":0,"sensor_SN":"TSV-SIM-000001","mode":"verify"})";

std::string VerifyCommand(std::string_view AState) {
  return R"({"act":"verify","state":")" + std::string(AState) + "\"}";
}

std::string VerifyReply(std::string_view AState) {
  return std::string(kReplyHead) + std::string(AState) + std::string(kReplyTail);
}

// The text of the string member "state" of a reply; empty when there is none.
std::string_view StateOf(std::string_view AMessage) {
  constexpr std::string_view kKey = "\"state\":\"";
  const size_t start = AMessage.find(kKey);
  if (start == std::string_view::npos) return {};
  const size_t end = AMessage.find('"', start + kKey.size());
  if (end == std::string_view::npos) return {};
  return AMessage.substr(start + kKey.size(), end - start - kKey.size());
}

enum class TClientState { Connecting, AwaitingUpgrade, Upgraded, Silent, Closed };

struct TClient {
  int Fd = -1;
  TClientState State = TClientState::Closed;
  std::string Key;
  std::string Input;
};

// A set of client connections to one server, driven by one epoll instance.
class TClientSet {
 public:
  std::function<void(int AClient, std::string_view APayload)> OnFrame;
  long ProtocolErrors = 0;

  explicit TClientSet(int APort) : FPort(APort), FEpoll(::epoll_create1(EPOLL_CLOEXEC)) {}
  ~TClientSet() {
    CloseAll();
    if (FEpoll >= 0) ::close(FEpoll);
  }
  TClientSet(const TClientSet&) = delete;
  TClientSet& operator=(const TClientSet&) = delete;

  int Size() const { return int(FClients.size()); }
  int ClosedByServer() const { return FClosedByServer; }

  // Opens ACount connections with at most AWindow of them still connecting or awaiting their 101
  // response. Silent connections (AHandshake false) send nothing; they are started at most
  // AConnectsPerSecond a second, since nothing else paces them. False, with AError, when a
  // connection failed or a handshake was refused or wrong, or time ran out.
  bool Open(int ACount, bool AHandshake, int AWindow, double AConnectsPerSecond, double ATimeout,
            std::string& AError) {
    FClients.resize(size_t(ACount));
    const TimePoint deadline = After(ATimeout);
    int started = 0;
    FInFlight = 0;
    FReady = 0;
    FError.clear();
    TimePoint nextStart = Clock::now();
    while (FReady < ACount) {
      while (started < ACount && FInFlight < AWindow && Clock::now() >= nextStart) {
        if (!StartConnect(started++, AHandshake)) break;
        if (!AHandshake && AConnectsPerSecond > 0) nextStart = After(1.0 / AConnectsPerSecond);
      }
      if (!FError.empty()) break;
      if (Clock::now() >= deadline) {
        FError = "timed out with " + std::to_string(FReady) + " of " + std::to_string(ACount) +
                 " connections ready";
        break;
      }
      Wait(started < ACount && !AHandshake ? 1 : 20);
      if (!FError.empty()) break;
    }
    AError = FError;
    return FError.empty();
  }

  // Sends one masked text frame.
  bool SendText(int AClient, std::string_view AText) {
    std::string frame;
    frame.push_back(char(0x81));
    if (AText.size() <= 125) {
      frame.push_back(char(0x80 | AText.size()));
    } else {
      frame.push_back(char(0x80 | 126));
      frame.push_back(char(AText.size() >> 8));
      frame.push_back(char(AText.size()));
    }
    const uint32_t mask = FRandom();
    const char key[4] = {char(mask), char(mask >> 8), char(mask >> 16), char(mask >> 24)};
    frame.append(key, 4);
    for (size_t i = 0; i < AText.size(); ++i) frame.push_back(char(AText[i] ^ key[i & 3]));
    return SendAll(FClients[size_t(AClient)].Fd, frame);
  }

  // Handles events until ADone() holds or the deadline passes; true when ADone() held.
  bool PumpUntil(const std::function<bool()>& ADone, TimePoint ADeadline) {
    while (!ADone()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(ADeadline - Clock::now());
      if (left.count() <= 0) return ADone();
      Wait(int(std::min<long>(left.count(), 100)));
    }
    return true;
  }

  // Abortive close (RST): thousands of connections a run leave no TIME_WAIT behind.
  void CloseAll() {
    for (TClient& client : FClients) {
      if (client.Fd < 0) continue;
      const linger abortive{1, 0};
      ::setsockopt(client.Fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
      ::close(client.Fd);
      client.Fd = -1;
    }
    FClients.clear();
  }

 private:
  bool StartConnect(int AIndex, bool AHandshake) {
    TClient& client = FClients[size_t(AIndex)];
    client.Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (client.Fd < 0) {
      FError = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    const int on = 1;
    ::setsockopt(client.Fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(FPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(client.Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      FError = std::string("connect: ") + std::strerror(errno);
      return false;
    }
    uint8_t keyBytes[16];
    for (uint8_t& byte : keyBytes) byte = uint8_t(FRandom());
    client.Key = Base64(keyBytes, sizeof keyBytes);
    client.State = TClientState::Connecting;
    FHandshake = AHandshake;
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.u32 = uint32_t(AIndex);
    ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, client.Fd, &event);
    ++FInFlight;
    return true;
  }

  void Wait(int ATimeoutMs) {
    epoll_event events[256];
    const int n = ::epoll_wait(FEpoll, events, 256, ATimeoutMs);
    for (int i = 0; i < n; ++i) {
      const int index = int(events[i].data.u32);
      if (index >= Size()) continue;
      TClient& client = FClients[size_t(index)];
      if (client.State == TClientState::Connecting)
        Connected(index);
      else if (client.State != TClientState::Closed)
        Readable(index);
    }
  }

  void Connected(int AIndex) {
    TClient& client = FClients[size_t(AIndex)];
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(client.Fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      FError = std::string("connect: ") + std::strerror(error);
      return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u32 = uint32_t(AIndex);
    ::epoll_ctl(FEpoll, EPOLL_CTL_MOD, client.Fd, &event);
    if (!FHandshake) {
      client.State = TClientState::Silent;
      --FInFlight;
      ++FReady;
      return;
    }
    // The exact header spelling matters to the product, which matches names and ": " literally.
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(FPort) +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: " +
                                client.Key + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!SendAll(client.Fd, request)) {
      FError = "could not send the upgrade request";
      return;
    }
    client.State = TClientState::AwaitingUpgrade;
  }

  void Readable(int AIndex) {
    TClient& client = FClients[size_t(AIndex)];
    char chunk[65536];
    for (;;) {
      const ssize_t n = ::recv(client.Fd, chunk, sizeof chunk, 0);
      if (n > 0) {
        client.Input.append(chunk, size_t(n));
        if (size_t(n) < sizeof chunk) break;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
      if (client.State == TClientState::AwaitingUpgrade)
        FError = "connection closed before the 101 response";
      client.State = TClientState::Closed;
      ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, client.Fd, nullptr);
      ++FClosedByServer;
      return;
    }
    if (client.State == TClientState::AwaitingUpgrade && !CheckUpgrade(client)) return;
    if (client.State == TClientState::Upgraded) ParseFrames(AIndex);
    if (client.State == TClientState::Silent && !client.Input.empty()) {
      ++ProtocolErrors;
      client.Input.clear();
    }
  }

  bool CheckUpgrade(TClient& AClient) {
    const size_t end = AClient.Input.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (AClient.Input.size() > 8192) FError = "no end of the 101 response";
      return false;
    }
    std::string head = AClient.Input.substr(0, end + 2);
    if (head.rfind("HTTP/1.1 101 ", 0) != 0) {
      FError = "not a 101 response: " + head.substr(0, head.find('\r'));
      return false;
    }
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    const std::string name = "\r\nsec-websocket-accept:";
    const size_t at = lower.find(name);
    if (at == std::string::npos) {
      FError = "101 response without Sec-WebSocket-Accept";
      return false;
    }
    size_t valueStart = at + name.size();
    while (valueStart < head.size() && head[valueStart] == ' ') ++valueStart;
    const std::string value = head.substr(valueStart, head.find("\r\n", valueStart) - valueStart);
    if (value != AcceptFor(AClient.Key)) {
      FError = "wrong Sec-WebSocket-Accept '" + value + "'";
      return false;
    }
    AClient.Input.erase(0, end + 4);
    AClient.State = TClientState::Upgraded;
    --FInFlight;
    ++FReady;
    return true;
  }

  void ParseFrames(int AIndex) {
    std::string& input = FClients[size_t(AIndex)].Input;
    size_t at = 0;
    while (input.size() - at >= 2) {
      const auto* p = reinterpret_cast<const uint8_t*>(input.data() + at);
      if (p[0] != 0x81 || (p[1] & 0x80) != 0) {
        // A server frame must be one unmasked text frame; there is no resynchronising after that.
        ++ProtocolErrors;
        at = input.size();
        break;
      }
      uint64_t length = p[1] & 0x7F;
      size_t header = 2;
      if (length >= 126) {
        header += length == 126 ? 2 : 8;
        if (input.size() - at < header) break;
        length = 0;
        for (size_t i = 2; i < header; ++i) length = length << 8 | p[i];
      }
      if (input.size() - at < header + length) break;
      if (OnFrame) OnFrame(AIndex, std::string_view(input.data() + at + header, size_t(length)));
      at += header + size_t(length);
    }
    input.erase(0, at);
  }

  static bool SendAll(int AFd, std::string_view AData) {
    const TimePoint deadline = After(5);
    while (!AData.empty()) {
      const ssize_t n = ::send(AFd, AData.data(), AData.size(), MSG_NOSIGNAL);
      if (n > 0) {
        AData.remove_prefix(size_t(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (Clock::now() >= deadline) return false;
      pollfd writable{AFd, POLLOUT, 0};
      ::poll(&writable, 1, 10);
    }
    return true;
  }

  int FPort;
  int FEpoll;
  std::vector<TClient> FClients;
  bool FHandshake = true;
  int FInFlight = 0;
  int FReady = 0;
  int FClosedByServer = 0;
  std::string FError;
  std::mt19937 FRandom{std::random_device{}()};
};

// ---------------------------------------------------------------------------------------------
// Options and results.

struct TOptions {
  std::vector<int> Sizes{1, 10, 100, 1000};
  int Rounds = 200;
  int Blocks = 4;
  int Senders = 10;
  int ThroughputBlocks = 3;
  double ThroughputSeconds = 3;
  int IdleClients = 1000;
  double IdleSeconds = 10;
  int Window = 8;
  // Pause between latency rounds, so that each command meets a server that has finished the last
  // one; commands back to back are the throughput phase's business.
  double RoundGapSeconds = 0.002;
  double SilentConnectsPerSecond = 2000;
  std::vector<int> BurstSizes{100, 1000};
  int SilentClients = 1000;  // connections held silent while SilentActive clients are measured
  int SilentActive = 10;
  long PrefillCommands = 0;  // commands sent before any measurement
  std::string Base = "minimal";
  std::string Phases = "latency,burst,silent,throughput,idle";
  bool Runs(std::string_view APhase) const { return Phases.find(APhase) != std::string::npos; }
};

struct TIdleFigures {
  bool Measured = false;
  double CpuPercent = 0;
  int Threads = 0;
  long RssKiB = 0;
  long RssBeforeKiB = 0;  // before the clients connected
  long PeakRssKiB = 0;
  int Open = 0;
};

struct TServer {
  std::string Name;
  int Port = 0;
  pid_t Pid = 0;
  TLogWatch Log{""};
  int BaselineThreads = 0;
  long VerifyCommands = 0;  // sent so far; each one is one reply line in the log

  std::vector<double> HandshakeRates;
  std::map<int, std::vector<double>> BurstRates;  // by burst size
  std::vector<double> SilentLatencyMicros;        // with the silent connections held open
  std::map<int, std::vector<double>> LatencyMicros;
  std::map<int, int> FailedRounds;
  long WrongReplies = 0;
  long ProtocolErrors = 0;
  long Commands = 0;
  double ReplySeconds = 0;
  double LoggedSeconds = 0;
  double CommandCpuSeconds = 0;
  bool LogKeptUp = true;
  TIdleFigures IdleUpgraded;
  TIdleFigures IdleSilent;
  std::vector<std::string> Errors;

  bool Alive() const { return ReadProc(Pid).Alive; }
  void Fail(const std::string& APhase, const std::string& AWhat) {
    Errors.push_back(APhase + ": " + AWhat);
    std::fprintf(stderr, "load_client: %s: %s: %s\n", Name.c_str(), APhase.c_str(), AWhat.c_str());
  }
};

// ---------------------------------------------------------------------------------------------
// Phases.

// Waits until the server accepts connections, then notes its idle thread count.
bool WaitReady(TServer& AServer, double ATimeout) {
  const TimePoint deadline = After(ATimeout);
  while (Clock::now() < deadline) {
    if (!AServer.Alive()) break;
    TClientSet probe(AServer.Port);
    std::string error;
    if (probe.Open(1, true, 1, 0, 2, error)) {
      probe.CloseAll();
      WaitThreadsStable(AServer.Pid, 0.5, 5);
      AServer.BaselineThreads = ReadProc(AServer.Pid).Threads;
      return true;
    }
    probe.CloseAll();
    SleepSeconds(0.2);
  }
  AServer.Fail("start", "no WebSocket upgrade on port " + std::to_string(AServer.Port));
  return false;
}

void RecordHandshakes(TServer& AServer, int ACount, double ASeconds, const TOptions& AOptions) {
  const int largest = *std::max_element(AOptions.Sizes.begin(), AOptions.Sizes.end());
  if (ACount >= largest && ASeconds > 0) AServer.HandshakeRates.push_back(ACount / ASeconds);
}

// AClients upgraded clients; client 0 sends ARounds verify commands, one after the other, and
// each round lasts until every client holds its reply. With ASilent, that many connections that
// never send anything are opened first and held for the whole block; the rounds then count as
// the silent phase's.
void LatencyBlock(TServer& AServer, int AClients, int ARounds, const TOptions& AOptions,
                  long& ARoundCounter, int ASilent = 0) {
  const std::string phase =
      ASilent > 0 ? "silent " + std::to_string(ASilent) + " + active " + std::to_string(AClients)
                  : "latency N=" + std::to_string(AClients);
  std::vector<double>& samples =
      ASilent > 0 ? AServer.SilentLatencyMicros : AServer.LatencyMicros[AClients];
  int& failedRounds = AServer.FailedRounds[ASilent > 0 ? -ASilent : AClients];
  std::string error;
  TClientSet silent(AServer.Port);
  if (ASilent > 0) {
    if (!silent.Open(ASilent, false, AOptions.Window, AOptions.SilentConnectsPerSecond, 120,
                     error)) {
      AServer.Fail(phase, error);
      failedRounds += ARounds;
      return;
    }
    // Every silent connection has its thread (or its place in the event loop) before timing.
    silent.PumpUntil([] { return false; }, After(0.5));
    WaitThreadsStable(AServer.Pid, 0.5, 20);
  }
  TClientSet clients(AServer.Port);
  const TimePoint openStart = Clock::now();
  if (!clients.Open(AClients, true, AOptions.Window, 0, 60, error)) {
    AServer.Fail(phase, error);
    failedRounds += ARounds;
    return;
  }
  if (ASilent == 0)
    RecordHandshakes(AServer, AClients, SecondsBetween(openStart, Clock::now()), AOptions);
  std::vector<uint8_t> holds(static_cast<size_t>(AClients));
  int holding = 0;
  std::string state;
  std::string expected;
  TimePoint lastArrival;
  clients.OnFrame = [&](int AClient, std::string_view APayload) {
    const bool exact = APayload == expected;
    if (!exact && StateOf(APayload) != state) return;  // not this round's reply
    if (!exact) ++AServer.WrongReplies;
    if (holds[size_t(AClient)]++ == 0 && ++holding == AClients) lastArrival = Clock::now();
  };
  for (int round = 0; round < ARounds; ++round) {
    state = "r" + std::to_string(ARoundCounter++);
    expected = VerifyReply(state);
    std::fill(holds.begin(), holds.end(), 0);
    holding = 0;
    const TimePoint start = Clock::now();
    ++AServer.VerifyCommands;
    if (!clients.SendText(0, VerifyCommand(state)) ||
        !clients.PumpUntil([&] { return holding == AClients || clients.ClosedByServer() > 0; },
                           After(10)) ||
        clients.ClosedByServer() > 0) {
      AServer.Fail(phase, "round " + std::to_string(round) + ": " + std::to_string(holding) +
                              " of " + std::to_string(AClients) + " clients got the reply");
      failedRounds += ARounds - round;
      break;
    }
    samples.push_back(SecondsBetween(start, lastArrival) * 1e6);
    clients.PumpUntil([] { return false; }, After(AOptions.RoundGapSeconds));
  }
  if (silent.ClosedByServer() > 0)
    AServer.Fail(phase, std::to_string(silent.ClosedByServer()) + " silent connections closed");
  AServer.ProtocolErrors += clients.ProtocolErrors + silent.ProtocolErrors;
}

// AClients connections started at once, each sending its upgrade request as soon as it is
// connected; the rate is the count over the time until the last 101 response was checked. A
// listen queue too short for the burst shows as connects retried after the kernel's 1 s.
void BurstBlock(TServer& AServer, int AClients) {
  const std::string phase = "burst N=" + std::to_string(AClients);
  TClientSet clients(AServer.Port);
  std::string error;
  const TimePoint start = Clock::now();
  if (!clients.Open(AClients, true, AClients, 0, 60, error)) {
    AServer.Fail(phase, error);
    return;
  }
  AServer.BurstRates[AClients].push_back(AClients / SecondsBetween(start, Clock::now()));
  AServer.ProtocolErrors += clients.ProtocolErrors;
}

// ACommands verify commands from ASenders clients, each sending its next when its reply arrived:
// fills a server's log before anything is measured.
void PrefillBlock(TServer& AServer, long ACommands, int ASenders, const TOptions& AOptions) {
  const std::string phase = "prefill";
  TClientSet clients(AServer.Port);
  std::string error;
  if (!clients.Open(ASenders, true, AOptions.Window, 0, 30, error)) {
    AServer.Fail(phase, error);
    return;
  }
  long sent = 0;
  long replies = 0;
  std::vector<std::string> waitingFor(static_cast<size_t>(ASenders));
  auto sendNext = [&](int AClient) {
    if (sent >= ACommands) return;
    std::string& state = waitingFor[size_t(AClient)];
    state = "p" + std::to_string(AClient) + "-" + std::to_string(sent++);
    ++AServer.VerifyCommands;
    clients.SendText(AClient, VerifyCommand(state));
  };
  clients.OnFrame = [&](int AClient, std::string_view APayload) {
    if (StateOf(APayload) != waitingFor[size_t(AClient)]) return;
    ++replies;
    sendNext(AClient);
  };
  for (int i = 0; i < ASenders; ++i) sendNext(i);
  if (!clients.PumpUntil([&] { return replies >= sent && sent >= ACommands; }, After(300)))
    AServer.Fail(phase, std::to_string(replies) + " of " + std::to_string(sent) + " replies");
  if (AServer.Log.Enabled() && !AServer.Log.WaitFor(AServer.VerifyCommands, After(300)))
    AServer.Fail(phase, "the log did not catch up");
}

// ASenders upgraded clients, each sending its next command as soon as its own reply arrives,
// for ASeconds. CPU is counted until the last reply and, with a log, until the log has every line.
void ThroughputBlock(TServer& AServer, const TOptions& AOptions) {
  const std::string phase = "throughput";
  TClientSet clients(AServer.Port);
  std::string error;
  if (!clients.Open(AOptions.Senders, true, AOptions.Window, 0, 30, error)) {
    AServer.Fail(phase, error);
    return;
  }
  if (AServer.Log.Enabled() && !AServer.Log.WaitFor(AServer.VerifyCommands, After(30))) {
    AServer.Fail(phase, "the log lacks replies of earlier phases");
    AServer.LogKeptUp = false;
  }
  std::vector<std::string> waitingFor(size_t(AOptions.Senders));
  std::vector<long> sequence(size_t(AOptions.Senders));
  long completed = 0;
  int busy = 0;
  TimePoint lastReply;
  bool sending = true;
  auto sendNext = [&](int AClient) {
    std::string& state = waitingFor[size_t(AClient)];
    state = "t" + std::to_string(AClient) + "-" + std::to_string(sequence[size_t(AClient)]++);
    ++AServer.VerifyCommands;
    if (!clients.SendText(AClient, VerifyCommand(state))) state.clear();
  };
  clients.OnFrame = [&](int AClient, std::string_view APayload) {
    std::string& state = waitingFor[size_t(AClient)];
    if (state.empty() || StateOf(APayload) != state) return;
    if (APayload != VerifyReply(state)) ++AServer.WrongReplies;
    ++completed;
    lastReply = Clock::now();
    if (sending) {
      sendNext(AClient);
    } else {
      state.clear();
      --busy;
    }
  };
  const TProcSample before = ReadProc(AServer.Pid);
  const TimePoint start = Clock::now();
  const TimePoint stopSending = After(AOptions.ThroughputSeconds);
  busy = AOptions.Senders;
  for (int i = 0; i < AOptions.Senders; ++i) sendNext(i);
  clients.PumpUntil([&] { return Clock::now() >= stopSending; }, stopSending);
  sending = false;
  // The last replies and the log are awaited together, so that the moment the log caught up is
  // seen even while a reply is still due. A command counts as logged once its reply arrived.
  TimePoint logged = lastReply;
  bool loggedSeen = false;
  auto logCaughtUp = [&] {
    if (!AServer.Log.Enabled()) return true;
    if (AServer.Log.Count() < AServer.VerifyCommands - busy) {
      loggedSeen = false;
      return false;
    }
    if (!loggedSeen) logged = Clock::now();
    loggedSeen = true;
    return true;
  };
  const TimePoint drainEnd = After(5);
  for (;;) {
    const bool caughtUp = logCaughtUp();
    if ((busy == 0 && caughtUp) || Clock::now() >= drainEnd) break;
    clients.PumpUntil([&] { return busy == 0; }, After(0.002));
  }
  if (busy > 0) AServer.Fail(phase, std::to_string(busy) + " senders never got their last reply");
  if (!logCaughtUp()) {
    if (AServer.Log.WaitFor(AServer.VerifyCommands - busy, After(60))) {
      logged = Clock::now();
    } else {
      AServer.Fail(phase, "the log did not catch up within 60 s");
      AServer.LogKeptUp = false;
    }
  }
  const TProcSample after = ReadProc(AServer.Pid);
  std::fprintf(stderr,
               "load_client: %s: throughput block: %ld commands, last reply at %.2f s, log at "
               "%.2f s\n",
               AServer.Name.c_str(), completed, SecondsBetween(start, lastReply),
               SecondsBetween(start, std::max(logged, lastReply)));
  AServer.Commands += completed;
  AServer.ReplySeconds += SecondsBetween(start, lastReply);
  AServer.LoggedSeconds += SecondsBetween(start, std::max(logged, lastReply));
  AServer.CommandCpuSeconds += after.CpuSeconds - before.CpuSeconds;
  AServer.ProtocolErrors += clients.ProtocolErrors;
}

// AClients connections held without traffic for AOptions.IdleSeconds; upgraded ones or ones that
// never send their upgrade request.
void IdleBlock(TServer& AServer, bool AUpgraded, int AClients, const TOptions& AOptions) {
  const std::string phase = AUpgraded ? "idle upgraded" : "idle silent";
  TIdleFigures& figures = AUpgraded ? AServer.IdleUpgraded : AServer.IdleSilent;
  ResetPeakRss(AServer.Pid);
  const long rssBefore = ReadProc(AServer.Pid).RssKiB;
  TClientSet clients(AServer.Port);
  std::string error;
  const TimePoint openStart = Clock::now();
  if (!clients.Open(AClients, AUpgraded, AOptions.Window, AOptions.SilentConnectsPerSecond, 120,
                    error)) {
    AServer.Fail(phase, error);
    return;
  }
  if (AUpgraded)
    RecordHandshakes(AServer, AClients, SecondsBetween(openStart, Clock::now()), AOptions);
  // Let the server finish starting its connections before the quiet period is measured.
  clients.PumpUntil([] { return false; }, After(1));
  WaitThreadsStable(AServer.Pid, 1, 20);
  const TProcSample before = ReadProc(AServer.Pid);
  const TimePoint start = Clock::now();
  clients.PumpUntil([] { return false; }, After(AOptions.IdleSeconds));
  const TProcSample after = ReadProc(AServer.Pid);
  const double seconds = SecondsBetween(start, Clock::now());
  figures.Measured = true;
  figures.CpuPercent = (after.CpuSeconds - before.CpuSeconds) / seconds * 100;
  figures.Threads = after.Threads;
  figures.RssKiB = after.RssKiB;
  figures.RssBeforeKiB = rssBefore;
  figures.PeakRssKiB = after.PeakRssKiB;
  figures.Open = clients.Size() - clients.ClosedByServer();
  AServer.ProtocolErrors += clients.ProtocolErrors;
}

// ---------------------------------------------------------------------------------------------
// Report.

double Percentile(std::vector<double> ASamples, double AQuantile) {
  if (ASamples.empty()) return NAN;
  std::sort(ASamples.begin(), ASamples.end());
  const size_t rank = size_t(std::ceil(AQuantile * double(ASamples.size())));
  return ASamples[std::min(ASamples.size() - 1, rank == 0 ? 0 : rank - 1)];
}

double Median(const std::vector<double>& ASamples) {
  return Percentile(ASamples, 0.5);
}

struct TFigure {
  std::string Label;  // table text
  std::string Key;    // JSON name
  std::function<double(const TServer&)> Value;
  int Decimals = 0;
};

std::vector<TFigure> Figures(const TOptions& AOptions) {
  std::vector<TFigure> figures;
  figures.push_back({"handshakes/s", "handshakes_per_s",
                     [](const TServer& s) { return Median(s.HandshakeRates); }, 0});
  static const std::pair<const char*, double> kQuantiles[] = {
      {"min", 0}, {"p50", 0.5}, {"p90", 0.9}, {"p99", 0.99}, {"max", 1}};
  for (int n : AOptions.Sizes) {
    for (const auto& [name, quantile] : kQuantiles) {
      const double q = quantile;
      figures.push_back({"latency N=" + std::to_string(n) + " " + name + " (us)",
                         "latency_us_n" + std::to_string(n) + "_" + name,
                         [n, q](const TServer& s) {
                           const auto it = s.LatencyMicros.find(n);
                           return it == s.LatencyMicros.end() ? NAN : Percentile(it->second, q);
                         },
                         0});
    }
  }
  for (int n : AOptions.BurstSizes)
    figures.push_back({"handshakes/s, burst of " + std::to_string(n),
                       "burst_handshakes_per_s_n" + std::to_string(n),
                       [n](const TServer& s) {
                         const auto it = s.BurstRates.find(n);
                         return it == s.BurstRates.end() ? NAN : Median(it->second);
                       },
                       0});
  const std::string silent = std::to_string(AOptions.SilentActive) + " active + " +
                             std::to_string(AOptions.SilentClients) + " silent";
  const std::string silentKey = "silent_latency_us_";
  for (const auto& [name, quantile] : kQuantiles) {
    const double q = quantile;
    figures.push_back({"latency " + silent + " " + name + " (us)", silentKey + name,
                       [q](const TServer& s) {
                         return s.SilentLatencyMicros.empty()
                                    ? NAN
                                    : Percentile(s.SilentLatencyMicros, q);
                       },
                       0});
  }
  figures.push_back({"commands/s, K=" + std::to_string(AOptions.Senders) + " (replies)",
                     "commands_per_s",
                     [](const TServer& s) {
                       return s.ReplySeconds > 0 ? double(s.Commands) / s.ReplySeconds : NAN;
                     },
                     0});
  figures.push_back({"commands/s, log carried", "commands_per_s_logged",
                     [](const TServer& s) {
                       return s.LoggedSeconds > 0 && s.LogKeptUp
                                  ? double(s.Commands) / s.LoggedSeconds
                                  : NAN;
                     },
                     0});
  figures.push_back({"CPU per command (us)", "cpu_us_per_command",
                     [](const TServer& s) {
                       return s.Commands > 0 ? s.CommandCpuSeconds / double(s.Commands) * 1e6 : NAN;
                     },
                     1});
  const std::string idle = std::to_string(AOptions.IdleClients);
  for (const bool upgraded : {true, false}) {
    const std::string label = idle + (upgraded ? " idle upgraded: " : " silent TCP: ");
    const std::string key = upgraded ? "idle_upgraded_" : "idle_silent_";
    auto idleOf = [upgraded](const TServer& s) -> const TIdleFigures& {
      return upgraded ? s.IdleUpgraded : s.IdleSilent;
    };
    auto measured = [idleOf](auto AField) {
      return [idleOf, AField](const TServer& s) {
        return idleOf(s).Measured ? AField(idleOf(s)) : NAN;
      };
    };
    figures.push_back({label + "CPU (% core)", key + "cpu_percent",
                       measured([](const TIdleFigures& f) { return f.CpuPercent; }), 2});
    figures.push_back({label + "threads", key + "threads",
                       measured([](const TIdleFigures& f) { return double(f.Threads); }), 0});
    figures.push_back({label + "RSS (MiB)", key + "rss_mib",
                       measured([](const TIdleFigures& f) { return f.RssKiB / 1024.0; }), 1});
    figures.push_back(
        {label + "RSS added (MiB)", key + "rss_added_mib",
         measured([](const TIdleFigures& f) { return (f.RssKiB - f.RssBeforeKiB) / 1024.0; }), 1});
    figures.push_back({label + "peak RSS (MiB)", key + "peak_rss_mib",
                       measured([](const TIdleFigures& f) { return f.PeakRssKiB / 1024.0; }), 1});
    figures.push_back({label + "still open", key + "open",
                       measured([](const TIdleFigures& f) { return double(f.Open); }), 0});
  }
  return figures;
}

std::string Number(double AValue, int ADecimals) {
  if (std::isnan(AValue)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", ADecimals, AValue);
  return text;
}

std::string JsonNumber(double AValue, int ADecimals) {
  return std::isnan(AValue) ? "null" : Number(AValue, ADecimals);
}

std::string JsonString(std::string_view AText) {
  std::string out = "\"";
  for (const char c : AText) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (uint8_t(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Report(const std::vector<TServer>& AServers, const TOptions& AOptions) {
  const auto figures = Figures(AOptions);
  const TServer* base = nullptr;
  for (const TServer& server : AServers)
    if (server.Name == AOptions.Base) base = &server;

  std::printf("\n%-40s", "figure");
  for (const TServer& server : AServers) std::printf(" %12s", server.Name.c_str());
  for (const TServer& server : AServers)
    if (&server != base) std::printf(" %14s", (server.Name + "/" + AOptions.Base).c_str());
  std::printf("\n");
  for (const TFigure& figure : figures) {
    if (std::all_of(AServers.begin(), AServers.end(),
                    [&](const TServer& s) { return std::isnan(figure.Value(s)); }))
      continue;  // a phase that did not run
    std::printf("%-40s", figure.Label.c_str());
    for (const TServer& server : AServers)
      std::printf(" %12s", Number(figure.Value(server), figure.Decimals).c_str());
    for (const TServer& server : AServers) {
      if (&server == base) continue;
      const double ratio = base ? figure.Value(server) / figure.Value(*base) : NAN;
      std::printf(" %14s", std::isfinite(ratio) ? (Number(ratio, 2) + "x").c_str() : "-");
    }
    std::printf("\n");
  }
  for (const TServer& server : AServers) {
    for (const auto& [n, failed] : server.FailedRounds)
      if (failed > 0)
        std::printf("%s: %d failed latency rounds at %s\n", server.Name.c_str(), failed,
                    (n > 0 ? "N=" + std::to_string(n) : std::to_string(-n) + " silent").c_str());
    if (server.WrongReplies > 0)
      std::printf("%s: %ld replies differ from the expected text\n", server.Name.c_str(),
                  server.WrongReplies);
    if (server.ProtocolErrors > 0)
      std::printf("%s: %ld malformed server frames\n", server.Name.c_str(), server.ProtocolErrors);
  }

  std::string json = "{\"bench\":\"tessiva-websocket\",\"base\":" + JsonString(AOptions.Base);
  json += ",\"rounds\":" + std::to_string(AOptions.Rounds);
  json += ",\"senders\":" + std::to_string(AOptions.Senders);
  json += ",\"idle_clients\":" + std::to_string(AOptions.IdleClients);
  json += ",\"silent_clients\":" + std::to_string(AOptions.SilentClients);
  json += ",\"silent_active\":" + std::to_string(AOptions.SilentActive);
  json += ",\"prefill_commands\":" + std::to_string(AOptions.PrefillCommands);
  json += ",\"servers\":{";
  for (size_t i = 0; i < AServers.size(); ++i) {
    const TServer& server = AServers[i];
    if (i > 0) json += ',';
    json += JsonString(server.Name) + ":{";
    for (const TFigure& figure : figures)
      json += JsonString(figure.Key) + ":" + JsonNumber(figure.Value(server), figure.Decimals + 2) +
              ",";
    json += "\"commands\":" + std::to_string(server.Commands);
    json += ",\"wrong_replies\":" + std::to_string(server.WrongReplies);
    json += ",\"protocol_errors\":" + std::to_string(server.ProtocolErrors);
    int failed = 0;
    for (const auto& entry : server.FailedRounds) failed += entry.second;
    json += ",\"failed_rounds\":" + std::to_string(failed);
    json += ",\"errors\":[";
    for (size_t e = 0; e < server.Errors.size(); ++e) {
      if (e > 0) json += ',';
      json += JsonString(server.Errors[e]);
    }
    json += "]}";
  }
  json += "},\"ratios\":{";
  bool firstServer = true;
  for (const TServer& server : AServers) {
    if (&server == base || base == nullptr) continue;
    if (!firstServer) json += ',';
    json += JsonString(server.Name) + ":{";
    firstServer = false;
    bool firstFigure = true;
    for (const TFigure& figure : figures) {
      const double ratio = figure.Value(server) / figure.Value(*base);
      if (!firstFigure) json += ',';
      json += JsonString(figure.Key) + ":" + JsonNumber(std::isfinite(ratio) ? ratio : NAN, 3);
      firstFigure = false;
    }
    json += "}";
  }
  json += "}}";
  std::printf("%s\n", json.c_str());
}

// ---------------------------------------------------------------------------------------------

void Usage() {
  std::fprintf(stderr,
               "usage: load_client [options] NAME=PORT:PID[:LOGFILE]...\n"
               "  Each server listens on 127.0.0.1:PORT and runs as PID; with LOGFILE, the\n"
               "  commands/s figure also waits until that file holds a reply line per command.\n"
               "  --base NAME          ratios are to this server (default minimal)\n"
               "  --sizes 1,10,...     client counts of the latency phase\n"
               "  --rounds R           latency rounds per client count (default 200)\n"
               "  --blocks B           interleaved blocks the rounds are split into (default 4)\n"
               "  --senders K          senders of the throughput phase (default 10)\n"
               "  --throughput-seconds S, --throughput-blocks B   (default 3 s, 3 blocks)\n"
               "  --idle-clients N, --idle-seconds S              (default 1000, 10 s)\n"
               "  --round-gap-ms G     pause between latency rounds (default 2)\n"
               "  --window W           handshakes in flight (default 8)\n"
               "  --burst-sizes 100,...  clients of each connect burst (default 100,1000)\n"
               "  --silent-clients N, --silent-active A  A clients measured while N connections\n"
               "                       stay silent (default 1000, 10)\n"
               "  --prefill C          commands sent to every server before measuring (default 0)\n"
               "  --phases LIST        of latency,burst,silent,throughput,idle (default all)\n");
}

bool ParseServer(const std::string& AText, TServer& AServer) {
  const size_t equals = AText.find('=');
  if (equals == std::string::npos) return false;
  AServer.Name = AText.substr(0, equals);
  std::istringstream fields(AText.substr(equals + 1));
  std::string port, pid, log;
  if (!std::getline(fields, port, ':') || !std::getline(fields, pid, ':')) return false;
  std::getline(fields, log);
  AServer.Port = std::atoi(port.c_str());
  AServer.Pid = pid_t(std::atoi(pid.c_str()));
  AServer.Log = TLogWatch(log);
  return AServer.Port > 0 && AServer.Pid > 0;
}

// The positive numbers of a comma-separated list.
std::vector<int> Counts(const std::string& AList) {
  std::vector<int> counts;
  std::istringstream list(AList);
  std::string item;
  while (std::getline(list, item, ','))
    if (std::atoi(item.c_str()) > 0) counts.push_back(std::atoi(item.c_str()));
  return counts;
}

std::optional<TOptions> ParseOptions(int argc, char** argv, std::vector<TServer>& AServers) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&] { return std::string(argv[++i]); };
    if (arg == "--base" && hasValue) {
      options.Base = value();
    } else if (arg == "--sizes" && hasValue) {
      options.Sizes = Counts(value());
      if (options.Sizes.empty()) return std::nullopt;
    } else if (arg == "--rounds" && hasValue) {
      options.Rounds = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--blocks" && hasValue) {
      options.Blocks = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--senders" && hasValue) {
      options.Senders = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--throughput-seconds" && hasValue) {
      options.ThroughputSeconds = std::max(0.1, std::atof(value().c_str()));
    } else if (arg == "--throughput-blocks" && hasValue) {
      options.ThroughputBlocks = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--idle-clients" && hasValue) {
      options.IdleClients = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--idle-seconds" && hasValue) {
      options.IdleSeconds = std::max(0.5, std::atof(value().c_str()));
    } else if (arg == "--burst-sizes" && hasValue) {
      options.BurstSizes = Counts(value());
    } else if (arg == "--silent-clients" && hasValue) {
      options.SilentClients = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--silent-active" && hasValue) {
      options.SilentActive = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--prefill" && hasValue) {
      options.PrefillCommands = std::max(0L, std::atol(value().c_str()));
    } else if (arg == "--phases" && hasValue) {
      options.Phases = value();
    } else if (arg == "--round-gap-ms" && hasValue) {
      options.RoundGapSeconds = std::max(0.0, std::atof(value().c_str()) / 1000);
    } else if (arg == "--window" && hasValue) {
      options.Window = std::max(1, std::atoi(value().c_str()));
    } else {
      TServer server;
      if (!ParseServer(arg, server)) return std::nullopt;
      AServers.push_back(std::move(server));
    }
  }
  if (AServers.empty()) return std::nullopt;
  return options;
}

// Room for every client connection of the largest phase.
void RaiseFileLimit(int AConnections) {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t wanted = rlim_t(AConnections) + 256;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<TServer> servers;
  const std::optional<TOptions> parsed = ParseOptions(argc, argv, servers);
  if (!parsed) {
    Usage();
    return 2;
  }
  const TOptions& options = *parsed;
  int largest = std::max({options.IdleClients, options.SilentClients + options.SilentActive,
                          *std::max_element(options.Sizes.begin(), options.Sizes.end())});
  for (int n : options.BurstSizes) largest = std::max(largest, n);
  RaiseFileLimit(largest);

  std::vector<TServer*> ready;
  for (TServer& server : servers)
    if (WaitReady(server, 60)) ready.push_back(&server);
  // Every phase runs block by block, the servers taking turns within each block.
  auto eachServer = [&](const std::function<void(TServer&)>& ARun) {
    for (TServer* server : ready) {
      if (!server->Alive()) {
        if (server->Errors.empty() || server->Errors.back() != "process: gone")
          server->Errors.push_back("process: gone");
        continue;
      }
      ARun(*server);
      WaitThreadsBack(server->Pid, server->BaselineThreads, 30);
    }
  };

  if (options.PrefillCommands > 0) {
    eachServer(
        [&](TServer& s) { PrefillBlock(s, options.PrefillCommands, options.Senders, options); });
    std::fprintf(stderr, "load_client: prefill done (%ld commands each)\n",
                 options.PrefillCommands);
  }
  long roundCounter = 0;
  for (const int n : options.Runs("latency") ? options.Sizes : std::vector<int>{}) {
    for (int block = 0; block < options.Blocks; ++block) {
      const int rounds =
          options.Rounds / options.Blocks + (block < options.Rounds % options.Blocks);
      eachServer([&](TServer& s) { LatencyBlock(s, n, rounds, options, roundCounter); });
    }
    std::fprintf(stderr, "load_client: latency N=%d done\n", n);
  }
  for (const int n : options.Runs("burst") ? options.BurstSizes : std::vector<int>{}) {
    for (int block = 0; block < options.Blocks; ++block)
      eachServer([&](TServer& s) { BurstBlock(s, n); });
    std::fprintf(stderr, "load_client: burst N=%d done\n", n);
  }
  if (options.Runs("silent")) {
    for (int block = 0; block < options.Blocks; ++block) {
      const int rounds =
          options.Rounds / options.Blocks + (block < options.Rounds % options.Blocks);
      eachServer([&](TServer& s) {
        LatencyBlock(s, options.SilentActive, rounds, options, roundCounter, options.SilentClients);
      });
    }
    std::fprintf(stderr, "load_client: silent done\n");
  }
  if (options.Runs("throughput")) {
    for (int block = 0; block < options.ThroughputBlocks; ++block)
      eachServer([&](TServer& s) { ThroughputBlock(s, options); });
    std::fprintf(stderr, "load_client: throughput done\n");
  }
  if (options.Runs("idle")) {
    eachServer([&](TServer& s) { IdleBlock(s, true, options.IdleClients, options); });
    eachServer([&](TServer& s) { IdleBlock(s, false, options.IdleClients, options); });
    std::fprintf(stderr, "load_client: idle done\n");
  }

  Report(servers, options);
  for (const TServer& server : servers)
    if (!server.Errors.empty()) return 1;
  return 0;
}
