#pragma once

#include <cstdint>

#include "MinutiaeTemplate.h"
#include "PreparedTemplate.h"

// Similarity 0..100 of two templates of any finger position, rotation (up to 60 degrees) and
// partial overlap. The enrolled template is aligned with the probe through matching pairs of
// minutiae; the score grows with how firmly the pairs hold together (neighbour edges that match
// in both) and with the share of the minutiae in the overlap that paired. The score counts ten
// per decade of false match rate: different fingers reach 10 in one comparison in 1,000, 20 in
// 10,000 (see MatchEvidence.h). Deterministic; nearly but not exactly symmetric.
int32_t CompareMinutiae(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe);

// The same with templates prepared once: comparing one probe with many enrolled templates then
// costs a few tens of microseconds each.
int32_t CompareMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe);
