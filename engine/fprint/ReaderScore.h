#pragma once

#include <algorithm>
#include <cstdint>

#include "MinutiaeMatcher.h"

// The reader engine's similarity 0..100 of two templates, its thresholds 10 as for any engine.
// Calibrated on libfprint's minutiae of 100 synthetic fingers x 8 presses through the virtual
// reader (bench/fingerprint_accuracy, 49,500 different-finger pairs): raw scores of different
// fingers reach 17 at the 99.9th percentile (27 at most), so a raw 18 is where the false match
// rate falls to 0.1 %. What lies above 8 is spread again over 0..100, which puts that raw 18 at
// the threshold 10 that means the same in the simulated engine.
inline constexpr int32_t kReaderImpostorCeiling = 8;

inline int32_t ReaderScoreOfMatch(int32_t AMatchScore) {
  return std::max(0, AMatchScore - kReaderImpostorCeiling) * 100 / (100 - kReaderImpostorCeiling);
}

template <class TTemplate>
int32_t ReaderScore(const TTemplate& AEnrolled, const TTemplate& AProbe) {
  return ReaderScoreOfMatch(CompareMinutiae(AEnrolled, AProbe));
}
