#include "ConvexHull.h"

#include <algorithm>
#include <cmath>

namespace {

float Cross(TPlanePoint AOrigin, TPlanePoint AFirst, TPlanePoint ASecond) {
  return (AFirst.X - AOrigin.X) * (ASecond.Y - AOrigin.Y) -
         (AFirst.Y - AOrigin.Y) * (ASecond.X - AOrigin.X);
}

}  // namespace

// Andrew's monotone chain.
TConvexHull::TConvexHull(std::span<const TPlanePoint> APoints) {
  std::vector<TPlanePoint> points(APoints.begin(), APoints.end());
  std::sort(points.begin(), points.end(), [](TPlanePoint A, TPlanePoint B) {
    return A.X < B.X || (A.X == B.X && A.Y < B.Y);
  });
  if (points.size() < 3) return;
  std::vector<TPlanePoint> hull(2 * points.size());
  std::size_t size = 0;
  for (const TPlanePoint& point : points) {
    while (size >= 2 && Cross(hull[size - 2], hull[size - 1], point) <= 0) --size;
    hull[size++] = point;
  }
  const std::size_t lowerSize = size + 1;
  for (std::size_t i = points.size() - 1; i-- > 0;) {
    while (size >= lowerSize && Cross(hull[size - 2], hull[size - 1], points[i]) <= 0) --size;
    hull[size++] = points[i];
  }
  hull.resize(size - 1);
  if (hull.size() < 3) return;
  FCorners = std::move(hull);
  for (std::size_t i = 0; i < FCorners.size(); ++i) {
    const TPlanePoint a = FCorners[i];
    const TPlanePoint b = FCorners[(i + 1) % FCorners.size()];
    const float length = Distance(b.X - a.X, b.Y - a.Y);
    FSides.push_back({a, {-(b.Y - a.Y) / length, (b.X - a.X) / length}});
  }
}

bool TConvexHull::Contains(TPlanePoint APoint, float AMargin) const {
  if (FSides.empty()) return false;
  return std::all_of(FSides.begin(), FSides.end(), [&](const TSide& ASide) {
    return (APoint.X - ASide.Start.X) * ASide.InwardNormal.X +
               (APoint.Y - ASide.Start.Y) * ASide.InwardNormal.Y >=
           -AMargin;
  });
}
