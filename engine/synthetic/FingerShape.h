#pragma once

#include "SynthRandom.h"

// The outline of a fingertip pressed flat: four quarter-ellipses, rounder at the tip and
// squarer towards the first joint.
struct TFingerShape {
  double CentreX = 0;
  double CentreY = 0;
  double Left = 0;    // half-widths and half-heights from the centre, pixels
  double Right = 0;
  double Top = 0;
  double Bottom = 0;

  // About the distance in pixels from the outline: positive inside, negative outside.
  double Inside(double AX, double AY) const;
};

TFingerShape DrawFingerShape(TSynthRandom& ARandom, int AImageWidth);
