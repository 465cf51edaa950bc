#pragma once

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "BridgeFixture.h"

// What the process holds that every connection borrows and must give back.
struct TProcessResources {
  int Threads = 0;
  int Descriptors = 0;
  int Contexts = 0;
  bool operator==(const TProcessResources&) const = default;
};

inline std::ostream& operator<<(std::ostream& AOut, const TProcessResources& AResources) {
  return AOut << "{threads " << AResources.Threads << ", descriptors " << AResources.Descriptors
              << ", contexts " << AResources.Contexts << "}";
}

inline int ProcessThreadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return -1;
}

inline int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

// The most memory the process has held at once, in KiB.
inline long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Both ends of every loopback connection live in this process.
inline void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

inline long DescriptorLimit() {
  rlimit limit{};
  return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? long(limit.rlim_cur) : -1;
}

// Failures seen on helper threads, reported by the test's thread.
class TFailures {
 public:
  void Add(std::string AText) {
    std::lock_guard lock(FLock);
    FTexts.push_back(std::move(AText));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(FLock);
    std::vector<std::string> texts;
    texts.swap(FTexts);
    return texts;
  }

 private:
  std::mutex FLock;
  std::vector<std::string> FTexts;
};

// The first few failures, one a line.
inline std::string Joined(const std::vector<std::string>& ATexts, size_t AMax = 5) {
  std::string text;
  for (size_t i = 0; i < ATexts.size() && i < AMax; ++i) text += ATexts[i] + "\n";
  if (ATexts.size() > AMax) text += "... and " + std::to_string(ATexts.size() - AMax) + " more\n";
  return text;
}

// Bytes for a failure message: printable ASCII as it is, everything else as \xNN.
inline std::string Printable(std::string_view ABytes, size_t AMax = 300) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < ABytes.size() && i < AMax; ++i) {
    const auto byte = static_cast<unsigned char>(ABytes[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      text += char(byte);
    } else {
      text += "\\x";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 15];
    }
  }
  if (ABytes.size() > AMax) text += "...";
  return text;
}

using TFrameCheck = std::function<void(const std::string&)>;

// Reads frames until one contains ANeedle and returns it; every frame read on the way, that one
// included, goes to ACheck. Nothing when the deadline passes first.
inline std::optional<std::string> ReceiveFrameWith(
    TWsTestClient& AClient, const std::string& ANeedle, const TFrameCheck& ACheck = nullptr,
    std::chrono::milliseconds ADeadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + ADeadline;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    const auto frame = AClient.ReceiveText(left);
    if (!frame) return std::nullopt;
    if (ACheck) ACheck(*frame);
    if (frame->find(ANeedle) != std::string::npos) return frame;
  }
}

inline std::string StateMember(const std::string& AState) {
  return "\"state\":\"" + AState + "\"";
}

// The reply to the command whose state was AState.
inline std::optional<std::string> ReceiveReplyTo(TWsTestClient& AClient, const std::string& AState,
                                                 const TFrameCheck& ACheck = nullptr) {
  return ReceiveFrameWith(AClient, StateMember(AState), ACheck);
}

inline std::string Command(const std::string& AAct, const std::string& AState) {
  return R"({"act":")" + AAct + R"(","state":")" + AState + R"("})";
}

// The bridge fixture for runs with many connections and helper threads. The test's thread stays
// the main thread: it pumps the queue while it waits.
class LoadTest : public BridgeTest {
 protected:
  static void SetUpTestSuite() { RaiseDescriptorLimit(); }

  // Pumps the main-thread queue until APredicate holds or the deadline passes. Polls, because the
  // conditions waited for (threads ending, descriptors closing) queue nothing.
  template <class Pred>
  bool PumpUntil(Pred APredicate, std::chrono::milliseconds ADeadline = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + ADeadline;
    bool reached = false;
    while (!reached && std::chrono::steady_clock::now() < end) {
      Queue.RunUntil([] { return false; }, std::chrono::milliseconds(5));
      reached = APredicate();
    }
    // What was queued before the condition came true.
    Queue.ProcessPending();
    return reached || APredicate();
  }

  int ContextCount() { return Bridge->Server()->Contexts().Count(); }

  TProcessResources Resources() {
    return {ProcessThreadCount(), OpenDescriptorCount(), ContextCount()};
  }

  // Runs AVisit on every live server-side connection, holding the connection list.
  void ForEachConnection(const std::function<void(TIdContext&)>& AVisit) {
    TIdListLock<TIdContext> contexts(Bridge->Server()->Contexts());
    for (TIdContext* context : contexts.Items()) AVisit(*context);
  }
};
