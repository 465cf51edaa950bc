#include "SampleFusion.h"

#include <algorithm>

int32_t FuseSampleScores(std::span<const int32_t> AScores) {
  return AScores.empty() ? 0 : *std::max_element(AScores.begin(), AScores.end());
}
