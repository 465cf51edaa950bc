// Kernel cost of one broadcast: the same small frame written to N loopback TCP connections, once
// with one blocking send per connection (what the product and the floor do) and once with every
// send of the broadcast submitted to io_uring in one batch. One epoll thread reads every client
// end, as the load client does. Prints, per N, the round time from the first write until the
// reader holds every frame (median and p90), the writer thread's CPU time per connection and the
// whole process's (the reader's, and io_uring's kernel workers', included) per connection.
//
// Usage: broadcast_send_bench [N...]   (default 10 100 1000)

#include <liburing.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 300;
constexpr size_t kFrameSize = 180;  // a verify reply with its frame header

double CpuMicros(clockid_t AClock) {
  timespec now{};
  clock_gettime(AClock, &now);
  return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// N connected pairs: server ends to write to, client ends for the reader.
struct TPairs {
  std::vector<int> Servers;
  std::vector<int> Clients;
  explicit TPairs(int ACount) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, SOMAXCONN) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    const int on = 1;
    for (int i = 0; i < ACount; ++i) {
      const int client = ::socket(AF_INET, SOCK_STREAM, 0);
      if (::connect(client, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        std::perror("connect");
        std::exit(1);
      }
      const int server = ::accept(listener, nullptr, nullptr);
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      Servers.push_back(server);
      Clients.push_back(client);
    }
    ::close(listener);
  }
  ~TPairs() {
    for (int fd : Servers) ::close(fd);
    for (int fd : Clients) ::close(fd);
  }
};

// Reads every client end with one epoll thread; counts whole frames.
class TReader {
 public:
  explicit TReader(const std::vector<int>& AClients) : FEpoll(::epoll_create1(0)) {
    for (size_t i = 0; i < AClients.size(); ++i) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.fd = AClients[i];
      ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, AClients[i], &event);
    }
    FThread = std::thread([this] { Run(); });
  }
  ~TReader() {
    FStop = true;
    FThread.join();
    ::close(FEpoll);
  }
  // Sleeps until the reader holds at least AExpected bytes.
  void WaitFor(long AExpected) {
    for (long now = FBytes.load(); now < AExpected; now = FBytes.load()) FBytes.wait(now);
  }

 private:
  void Run() {
    epoll_event events[256];
    char buffer[65536];
    while (!FStop) {
      const int n = ::epoll_wait(FEpoll, events, 256, 20);
      for (int i = 0; i < n; ++i) {
        const ssize_t got = ::recv(events[i].data.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
          FBytes.fetch_add(got);
          FBytes.notify_one();
        }
      }
    }
  }
  int FEpoll;
  std::atomic<bool> FStop{false};
  std::atomic<long> FBytes{0};
  std::thread FThread;
};

void SendEach(const std::vector<int>& AServers, const std::string& AFrame) {
  for (int fd : AServers) ::send(fd, AFrame.data(), AFrame.size(), MSG_NOSIGNAL);
}

void SendBatch(io_uring& ARing, const std::vector<int>& AServers, const std::string& AFrame) {
  size_t next = 0;
  while (next < AServers.size()) {
    unsigned queued = 0;
    while (next < AServers.size()) {
      io_uring_sqe* sqe = io_uring_get_sqe(&ARing);
      if (!sqe) break;
      io_uring_prep_send(sqe, AServers[next++], AFrame.data(), AFrame.size(), MSG_NOSIGNAL);
      ++queued;
    }
    io_uring_submit_and_wait(&ARing, queued);
    io_uring_cqe* cqe;
    unsigned head, seen = 0;
    io_uring_for_each_cqe(&ARing, head, cqe)++ seen;
    io_uring_cq_advance(&ARing, seen);
  }
}

template <class Send>
void Measure(const char* AName, int ACount, Send ASend) {
  TPairs pairs(ACount);
  TReader reader(pairs.Clients);
  const std::string frame(kFrameSize, 'x');
  std::vector<double> rounds;
  double cpu = 0;
  double processCpu = 0;
  long expected = 0;
  for (int round = 0; round < kRounds; ++round) {
    expected += long(kFrameSize) * ACount;
    const double cpuStart = CpuMicros(CLOCK_THREAD_CPUTIME_ID);
    const double processStart = CpuMicros(CLOCK_PROCESS_CPUTIME_ID);
    const auto start = Clock::now();
    ASend(pairs.Servers, frame);
    cpu += CpuMicros(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    reader.WaitFor(expected);
    processCpu += CpuMicros(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    rounds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  std::sort(rounds.begin(), rounds.end());
  std::printf(
      "%-10s N=%-5d round p50 %9.1f us  p90 %9.1f us  CPU per connection: writer %5.2f us, "
      "process %5.2f us\n",
      AName, ACount, rounds[rounds.size() / 2], rounds[rounds.size() * 9 / 10],
      cpu / kRounds / ACount, processCpu / kRounds / ACount);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
  if (counts.empty()) counts = {10, 100, 1000};
  io_uring ring;
  if (io_uring_queue_init(1024, &ring, 0) != 0) {
    std::fprintf(stderr, "broadcast_send_bench: io_uring is not available\n");
    return 1;
  }
  for (int n : counts) {
    // Alternated, so that a busy machine weighs on both alike.
    for (int repeat = 0; repeat < 2; ++repeat) {
      Measure("send each", n, SendEach);
      Measure("io_uring", n, [&](const std::vector<int>& AServers, const std::string& AFrame) {
        SendBatch(ring, AServers, AFrame);
      });
    }
  }
  io_uring_queue_exit(&ring);
  return 0;
}
