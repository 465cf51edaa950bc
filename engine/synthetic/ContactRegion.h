#pragma once

#include "FingerShape.h"
#include "SynthRandom.h"

// The part of the finger that touches the sensor: an ellipse, sized so that it covers a given
// share of the finger's area.
struct TContactRegion {
  // About the distance in pixels from the ellipse's edge: positive inside.
  double Inside(double AX, double AY) const;

  double CentreX = 0;
  double CentreY = 0;
  double HalfWidth = 1;
  double HalfHeight = 1;
  double AxisX = 1;  // unit vector along the width axis
  double AxisY = 0;
};

TContactRegion DrawContactRegion(TSynthRandom& ARandom, const TFingerShape& AShape, double AMinShare, double AMaxShare);
