#pragma once

#include "MinutiaeAlignment.h"
#include "PreparedTemplate.h"

// What an alignment shows: the pairs, and how many minutiae of each template lie where the two
// presses overlap, where a pair would be expected if the fingers were the same.
struct TMatchEvidence {
  int Paired = 0;
  int EnrolledInOverlap = 0;
  int ProbeInOverlap = 0;
  // Neighbour edges between paired minutiae that match between the templates: a true alignment
  // is knit together by many, a chance one is a thin chain.
  int ConsistentEdges = 0;
};

TMatchEvidence MeasureMatchEvidence(const TPreparedTemplate& AEnrolled,
                                    const TPreparedTemplate& AProbe,
                                    const TMinutiaeAlignment& AAlignment);

// 0..100; from 10 up the evidence is taken for the same finger.
int32_t ScoreMatchEvidence(const TMatchEvidence& AEvidence);
