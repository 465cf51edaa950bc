#include "SampleFusion.h"

#include <algorithm>
#include <cmath>

int32_t FuseSampleScores(std::span<const int32_t> AScores) {
  if (AScores.empty()) return 0;
  const auto chances = static_cast<int32_t>(std::lround(10 * std::log10(static_cast<double>(AScores.size()))));
  return std::max(0, *std::max_element(AScores.begin(), AScores.end()) - chances);
}
