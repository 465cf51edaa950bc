#pragma once

#include <vector>

#include "MinutiaPair.h"
#include "PreparedTemplate.h"

// A pair of matching edges, one per template: two minutia pairs that an alignment can grow from.
struct TAlignmentRoot {
  TMinutiaPair First;
  TMinutiaPair Second;
  float Rotation = 0;  // probe to enrolled, radians [0, 2pi)
  float Mismatch = 0;  // EdgeMismatch of the two edges
  int Votes = 0;       // matching edge pairs that agree on rotation and shift
};

// The AMaxRoots roots most worth growing, most promising first. Single edge matches are common between
// unrelated fingers; a true alignment shows as many matches that agree on the rotation and the
// shift, so roots are ranked by that agreement (a Hough vote) before their own fit.
std::vector<TAlignmentRoot> FindAlignmentRoots(const TPreparedTemplate& AEnrolled,
                                               const TPreparedTemplate& AProbe, std::size_t AMaxRoots);
