#pragma once

#include <vector>

#include "FingerPatternClass.h"
#include "FingerShape.h"
#include "SynthField.h"
#include "SynthRandom.h"

struct TSingularity {
  double X = 0;
  double Y = 0;
  bool Core = true;  // a core (loop centre) or a delta (triradius)
};

// Where a finger's cores and deltas lie, and the parameters of the arch model for the pattern
// without any.
struct TPatternLayout {
  TFingerPattern Pattern = TFingerPattern::Arch;
  std::vector<TSingularity> Singularities;
  double BaseAngle = 0;     // radians, added everywhere
  double ArchCentreX = 0;   // arch model only
  double ArchCentreY = 0;
  double ArchWidth = 1;
  double ArchHeight = 1;
  double ArchSlope = 0;
};

TPatternLayout DrawPatternLayout(TSynthRandom& ARandom, const TFingerShape& AShape);

// Ridge direction in radians, [0, pi), x to the right and y down.
TFloatField RidgeOrientation(const TPatternLayout& ALayout, const TFingerShape& AShape, TSynthRandom& ARandom, int AWidth,
                             int AHeight);
