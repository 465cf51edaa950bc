#pragma once

#include "SynthField.h"
#include "SynthRandom.h"

struct TRidgeGrowthInput {
  const TFloatField* Orientation = nullptr;  // ridge direction, radians [0, pi)
  const TFloatField* Period = nullptr;       // ridge period, pixels
  const TFloatField* Region = nullptr;       // > 0 where ridges grow
  int Seeds = 40;                            // starting points; fewer gives longer ridges
};

// Grows a ridge pattern by repeated oriented Gabor filtering from a few random starting points
// until it stops changing. Result in [-1, 1], ridges positive, 0 outside the region.
TFloatField GrowRidges(const TRidgeGrowthInput& AInput, TSynthRandom& ARandom);
