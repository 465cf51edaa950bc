#pragma once

#include <algorithm>
#include <cstdint>

#include "MinutiaeMatcher.h"

// The reader engine's similarity 0..100 of two templates, its thresholds 10 as for any engine.
// libfprint's minutiae are denser than those CompareMinutiae was tuned on: measured on 16
// synthetic fingers through the virtual reader, different fingers scored up to 28 (a quarter of
// the pairs 10 or more) and impressions of one finger 72 or more. Only what lies above 30 counts,
// spread again over 0..100, so that the threshold falls between the two.
inline constexpr int32_t kReaderImpostorCeiling = 30;

template <class TTemplate>
int32_t ReaderScore(const TTemplate& AEnrolled, const TTemplate& AProbe) {
  const int32_t raw = CompareMinutiae(AEnrolled, AProbe);
  return std::max(0, raw - kReaderImpostorCeiling) * 100 / (100 - kReaderImpostorCeiling);
}
