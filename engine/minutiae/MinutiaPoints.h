#pragma once

#include <algorithm>
#include <span>

#include "Minutia.h"
#include "PlanePoint.h"

// The mean position of a template's minutiae: a reference point that moves with the finger.
inline TPlanePoint Centroid(std::span<const TMinutia> AMinutiae) {
  TPlanePoint sum;
  for (const TMinutia& minutia : AMinutiae) {
    sum.X += minutia.X;
    sum.Y += minutia.Y;
  }
  const auto count = static_cast<float>(std::max<std::size_t>(1, AMinutiae.size()));
  return {sum.X / count, sum.Y / count};
}

inline TPlanePoint Midpoint(const TMinutia& AFirst, const TMinutia& ASecond) {
  return {(AFirst.X + ASecond.X) / 2, (AFirst.Y + ASecond.Y) / 2};
}
