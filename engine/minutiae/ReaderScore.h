#pragma once

#include <cstdint>

#include "MinutiaeMatcher.h"

// The reader engine's thresholds, 10 as for any engine: identification (1:N) and verification
// (1:1) succeed from these scores up. tessiva-match answers with the same.
inline constexpr int32_t kReaderThreshold = 10;
inline constexpr int32_t kReaderOneToOneThreshold = 10;

// The reader engine's similarity 0..100 of two templates: the matcher's score, which counts ten
// per decade of false match rate (10 at 0.1 %).
template <class TTemplate>
int32_t ReaderScore(const TTemplate& AEnrolled, const TTemplate& AProbe) {
  return CompareMinutiae(AEnrolled, AProbe);
}
