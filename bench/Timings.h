#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

// Mean and a high percentile of measured durations; both 0 when nothing was measured.
struct TTimings {
  double Mean = 0;
  double Percentile = 0;
};

inline TTimings SummariseTimings(std::vector<double> ASamples, double APercentile) {
  if (ASamples.empty()) return {};
  std::sort(ASamples.begin(), ASamples.end());
  const auto rank = static_cast<std::size_t>(std::ceil(APercentile / 100 * static_cast<double>(ASamples.size())));
  return {std::accumulate(ASamples.begin(), ASamples.end(), 0.0) / static_cast<double>(ASamples.size()),
          ASamples[std::clamp<std::size_t>(rank, 1, ASamples.size()) - 1]};
}
