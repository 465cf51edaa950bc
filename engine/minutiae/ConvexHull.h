#pragma once

#include <span>
#include <vector>

#include "PlanePoint.h"

// The convex hull of a minutiae set stands in for the finger's area in a press: where a press has
// no minutiae, nothing can be expected to pair.
class TConvexHull {
 public:
  TConvexHull() = default;
  explicit TConvexHull(std::span<const TPlanePoint> APoints);

  // Within AMargin pixels of the hull (or inside it). A hull of fewer than three points
  // contains nothing.
  bool Contains(TPlanePoint APoint, float AMargin) const;

  // Counter-clockwise (y downward: as drawn, clockwise), without repeated points.
  std::span<const TPlanePoint> Corners() const { return FCorners; }

 private:
  struct TSide {
    TPlanePoint Start;
    TPlanePoint InwardNormal;  // unit length
  };
  std::vector<TPlanePoint> FCorners;
  std::vector<TSide> FSides;
};
