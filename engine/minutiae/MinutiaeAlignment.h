#pragma once

#include <vector>

#include "MinutiaPair.h"
#include "PreparedTemplate.h"
#include "RigidTransform.h"

// The best correspondence found between two templates: its pairs agree with one rotation and
// shift up to the stretching of skin.
struct TMinutiaeAlignment {
  std::vector<TMinutiaPair> Pairs;
  TRigidTransform ProbeToEnrolled;
};

TMinutiaeAlignment AlignMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe);
