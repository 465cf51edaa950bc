#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

// One thread that reads and throws away whatever many client sockets receive, so that the
// server's broadcasts never wait on them, and notes which connections the server closed. The
// sockets stay owned by the caller and must outlive the reader.
class TDrainingReader {
 public:
  explicit TDrainingReader(std::vector<int> AFds)
      : FFds(std::move(AFds)), FReceived(FFds.size(), 0), FClosed(FFds.size(), false) {
    FThread = std::thread([this] { Run(); });
  }
  ~TDrainingReader() {
    FStop = true;
    FThread.join();
  }
  TDrainingReader(const TDrainingReader&) = delete;
  TDrainingReader& operator=(const TDrainingReader&) = delete;

  int ClosedCount() const {
    std::lock_guard lock(FLock);
    return int(std::count(FClosed.begin(), FClosed.end(), true));
  }

  // The fewest bytes any of the clients has received.
  size_t LeastReceived() const {
    std::lock_guard lock(FLock);
    return FReceived.empty() ? 0 : *std::min_element(FReceived.begin(), FReceived.end());
  }

 private:
  void Run() {
    std::vector<pollfd> entries;
    std::vector<size_t> indexes;
    while (!FStop) {
      entries.clear();
      indexes.clear();
      {
        std::lock_guard lock(FLock);
        for (size_t i = 0; i < FFds.size(); ++i) {
          if (FClosed[i]) continue;
          entries.push_back(pollfd{FFds[i], POLLIN, 0});
          indexes.push_back(i);
        }
      }
      if (entries.empty()) return;
      if (::poll(entries.data(), entries.size(), 100) <= 0) continue;
      for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].revents == 0) continue;
        size_t received = 0;
        const bool closed = DrainOne(entries[k].fd, received);
        std::lock_guard lock(FLock);
        FReceived[indexes[k]] += received;
        if (closed) FClosed[indexes[k]] = true;
      }
    }
  }

  // Reads everything pending; true when the server closed the connection.
  static bool DrainOne(int AFd, size_t& AReceived) {
    for (;;) {
      char chunk[65536];
      const ssize_t n = ::recv(AFd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        AReceived += size_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }
  }

  const std::vector<int> FFds;
  mutable std::mutex FLock;
  std::vector<size_t> FReceived;  // guarded by FLock
  std::vector<bool> FClosed;      // guarded by FLock
  std::atomic<bool> FStop{false};
  std::thread FThread;
};
