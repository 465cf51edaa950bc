#pragma once

#include <vector>

#include "SyntheticFinger.h"

// A rough minutiae count for judging generated masters: ridges thinned to one-pixel lines,
// ends and forks found by the crossing number. Not an extractor: no quality or direction.

struct TSkeletonMinutiae {
  int Endings = 0;
  int Bifurcations = 0;
};

// Counts only points at least AMargin pixels inside the finger's outline.
TSkeletonMinutiae CountSkeletonMinutiae(const TSyntheticMaster& AMaster, double AMargin = 16.0);
