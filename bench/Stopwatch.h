#pragma once

#include <time.h>

#include <chrono>

// Wall and processor time of one piece of work, in microseconds. On a shared machine the wall
// time includes waiting for a core; the processor time (this thread's) does not.
struct TElapsed {
  double WallMicroseconds = 0;
  double ProcessorMicroseconds = 0;
};

template <class TWork>
TElapsed TimeWork(TWork AWork) {
  const auto processor = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
  };
  const double processorStart = processor();
  const auto wallStart = std::chrono::steady_clock::now();
  AWork();
  const auto wallEnd = std::chrono::steady_clock::now();
  return {std::chrono::duration<double, std::micro>(wallEnd - wallStart).count(), processor() - processorStart};
}
