#pragma once

#include <cmath>

struct TPlanePoint {
  float X = 0;
  float Y = 0;
};

// Coordinates here are at most a few thousand pixels, so the plain formula is exact enough and
// much cheaper than std::hypot.
inline float Distance(float ADx, float ADy) { return std::sqrt(ADx * ADx + ADy * ADy); }
