#include "EdgeShape.h"

#include <cmath>

#include "PlanePoint.h"

TEdgeShape MeasureEdge(const TMinutia& AFrom, const TMinutia& ATo) {
  const float dx = ATo.X - AFrom.X;
  const float dy = ATo.Y - AFrom.Y;
  const float edgeAngle = NormalizeAngle(std::atan2(dy, dx));
  return {Distance(dx, dy), edgeAngle, NormalizeAngle(AFrom.Direction - edgeAngle),
          NormalizeAngle(ATo.Direction - edgeAngle)};
}

float EdgeMismatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond) {
  return std::fabs(AFirst.Length - ASecond.Length) /
             LengthTolerance(std::max(AFirst.Length, ASecond.Length)) +
         (NormalizedAngleDistance(AFirst.FromAngle, ASecond.FromAngle) +
          NormalizedAngleDistance(AFirst.ToAngle, ASecond.ToAngle)) /
             kAngleTolerance;
}
