#pragma once

#include <cstdint>

#include "MinutiaeMatcher.h"

// The reader engine's similarity 0..100 of two templates, its thresholds 10 as for any engine:
// the matcher's score, which counts ten per decade of false match rate (10 at 0.1 %).
template <class TTemplate>
int32_t ReaderScore(const TTemplate& AEnrolled, const TTemplate& AProbe) {
  return CompareMinutiae(AEnrolled, AProbe);
}
