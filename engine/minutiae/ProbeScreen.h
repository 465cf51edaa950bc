#pragma once

#include <cstdint>
#include <vector>

#include "PreparedTemplate.h"

// A first look at many enrolled templates for one probe, a microsecond or two each: how many root
// edges of an enrolled template share the hash cell of an edge of the probe and agree on one
// rotation and shift. Different fingers share a few by chance, presses of one finger many more,
// so a full comparison is worth making only for the templates that rank first.
class TProbeScreen {
 public:
  explicit TProbeScreen(const TPreparedTemplate& AProbe);

  int Agreement(const TPreparedTemplate& AEnrolled) const;

 private:
  struct TEdge {
    uint8_t Direction;  // ScreenDirection
    float MidX, MidY;   // as in TScreenKey
  };
  std::vector<uint16_t> FCellStart;  // one more than the hash's cells
  std::vector<TEdge> FEdges;         // the probe's, by cell
};

// An edge direction in radians [0, 2pi) in 256 steps of the full turn, so that the turn between
// two is one wrapping byte subtraction.
uint8_t ScreenDirection(float AAngle);
