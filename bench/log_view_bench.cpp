// The window's log under a million lines: appends them through the real adapter and view (shown on
// Qt's offscreen platform, repainted between batches as the event loop would) and prints the
// process's resident memory and the cost of appending near the start and after the million.
//
// Usage: log_view_bench [lines]   (default 1000000)
#include <time.h>

#include <QApplication>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ErrorDisplay.h"
#include "LogView.h"
#include "LogViewAdapter.h"
#include "QtMainThreadQueue.h"

namespace {

// Resident and peak resident memory of this process, in KiB.
long StatusKiB(const char* AField) {
  std::ifstream status("/proc/self/status");
  std::string name;
  while (status >> name) {
    if (name == AField) {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return -1;
}

// Lines as the bridge writes them: connects, their address lines, commands and replies.
std::u16string BridgeLine(long AIndex) {
  const std::string n = std::to_string(AIndex);
  std::string line;
  switch (AIndex % 6) {
    case 0: line = "[] - 2026-12-10 14:00:37: : Client Connected"; break;
    case 1: line = "[SERVER] - 2026-12-10 14:00:37: : Client Connected!"; break;
    case 2:
      line = "[SERVER] - 2026-12-10 14:00:37: : Port=9090 (PeerIP=127.0.0.1 - PeerPort=" + n + ")";
      break;
    case 3: line = R"([] - 2026-12-10 14:00:37: : {"state":"page-)" + n + R"(","act":"verify"})"; break;
    case 4: line = "[fingerprint] - 2026-12-10 14:00:37: : Verify Mode success"; break;
    default: line = "[CLIENT LIST] - 2026-12-10 14:00:37: : " + n; break;
  }
  return std::u16string(line.begin(), line.end());
}

// CPU time of the main thread: on a shared machine the wall clock mostly measures the neighbours.
double ThreadMicroseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Appends ACount lines, then lets the view repaint; returns the main thread's CPU time per line in
// microseconds.
double TimedBatch(TLogViewAdapter& AAdapter, long& ANext, long ACount) {
  const double start = ThreadMicroseconds();
  for (long i = 0; i < ACount; ++i) AAdapter.AppendLine(BridgeLine(ANext++));
  QCoreApplication::processEvents();
  return (ThreadMicroseconds() - start) / double(ACount);
}

}  // namespace

int main(int argc, char* argv[]) {
  const long total = argc > 1 ? std::atol(argv[1]) : 1000000;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TStderrErrorDisplay errors;
  TQtMainThreadQueue queue(errors);
  TLogView view;
  view.resize(628, 319);
  view.show();
  TLogViewAdapter adapter(view, queue, nullptr);
  QCoreApplication::processEvents();
  const long before = StatusKiB("VmRSS:");

  // Best of a few batches at each end, so that a neighbour's burst on a shared machine or the
  // first paint's glyph caching does not decide the figure.
  constexpr long kBatch = 1000;
  constexpr int kTries = 3;
  long next = 0;
  TimedBatch(adapter, next, 10);
  double early = 1e9;
  for (int i = 0; i < kTries; ++i) early = std::min(early, TimedBatch(adapter, next, kBatch));
  while (next < total - kTries * kBatch)
    TimedBatch(adapter, next, std::min(10 * kBatch, total - kTries * kBatch - next));
  double late = 1e9;
  for (int i = 0; i < kTries; ++i) late = std::min(late, TimedBatch(adapter, next, kBatch));

  const long after = StatusKiB("VmRSS:");
  std::printf("lines                      %ld\n", long(view.LineCount()));
  std::printf("RSS with the window shown  %.1f MB\n", double(before) / 1024);
  std::printf("RSS after the lines        %.1f MB (peak %.1f MB)\n", double(after) / 1024,
              double(StatusKiB("VmHWM:")) / 1024);
  std::printf("memory per line            %.1f bytes\n", double(after - before) * 1024 / double(total));
  std::printf("append near the start      %.2f us/line\n", early);
  std::printf("append near %ld lines  %.2f us/line\n", total, late);
  std::printf("(main thread CPU time, best of %d batches of %ld lines, each with one repaint)\n",
              kTries, kBatch);
  return 0;
}
