#pragma once

#include <chrono>

// Milliseconds left until ADeadline, rounded up so that a wait for it never ends just short of
// it; 0 once it has passed.
inline int MillisecondsUntil(std::chrono::steady_clock::time_point ADeadline) {
  const auto left = ADeadline - std::chrono::steady_clock::now();
  if (left <= left.zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}
