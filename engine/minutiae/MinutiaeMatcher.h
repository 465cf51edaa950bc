#pragma once

#include <cstdint>

#include "MinutiaeTemplate.h"
#include "PreparedTemplate.h"

// Similarity 0..100 of two templates of any finger position, rotation (up to 60 degrees) and
// partial overlap. The enrolled template is aligned with the probe through matching pairs of
// minutiae; the score grows with how firmly the pairs hold together (neighbour edges that match
// in both) and with the share of the minutiae in the overlap that paired. Presses of one finger
// typically score 25..100, an enrolment merged from three presses more; different fingers stay
// below 10 in all but about one comparison in several thousand. Deterministic; nearly but not
// exactly symmetric.
int32_t CompareMinutiae(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe);

// The same with templates prepared once: comparing one probe with many enrolled templates then
// costs a few tens of microseconds each.
int32_t CompareMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe);
