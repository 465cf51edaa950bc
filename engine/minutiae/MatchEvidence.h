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
  // All minutiae of each template: chance evidence grows with them.
  int EnrolledMinutiae = 0;
  int ProbeMinutiae = 0;
};

TMatchEvidence MeasureMatchEvidence(const TPreparedTemplate& AEnrolled,
                                    const TPreparedTemplate& AProbe,
                                    const TMinutiaeAlignment& AAlignment);

// The evidence in one number, 0 and up, the same for sparse and dense templates.
double WeighMatchEvidence(const TMatchEvidence& AEvidence);
// 0..100 for a weight, ten per decade of false match rate: press pairs of different fingers
// reach 0 in one comparison in 100, 10 in 1,000, 20 in 10,000.
double ScoreOfEvidenceWeight(double AWeight);
int32_t ScoreMatchEvidence(const TMatchEvidence& AEvidence);
