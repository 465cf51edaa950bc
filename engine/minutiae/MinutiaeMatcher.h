#pragma once

#include <cstdint>

#include "MinutiaeTemplate.h"
#include "PreparedTemplate.h"

// Similarity 0..100 of two templates of any finger position, rotation (up to 60 degrees) and
// partial overlap. Same finger: typically 30..100; different fingers: below 10 but for about
// one pair in a thousand or fewer. Deterministic and symmetric in cost, not exactly in value.
int32_t CompareMinutiae(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe);

// The same with templates prepared once: comparing one probe with many enrolled templates then
// costs a few tens of microseconds each.
int32_t CompareMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe);
