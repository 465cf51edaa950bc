#include "ImpressionGeometry.h"

#include <cmath>

TPointF TImpressionGeometry::ToMaster(TPointF AImagePoint) const {
  const double cosine = std::cos(Rotation);
  const double sine = std::sin(Rotation);
  const double dx = (AImagePoint.X - ImageCentre.X - Shift.X) / Scale;
  const double dy = (AImagePoint.Y - ImageCentre.Y - Shift.Y) / Scale;
  const double x = ImageCentre.X + cosine * dx + sine * dy;
  const double y = ImageCentre.Y - sine * dx + cosine * dy;
  const double cx = x - ContactCentre.X;
  const double cy = y - ContactCentre.Y;
  const double weight = SmoothStep(RigidRadius, RigidRadius + TransitionWidth, std::hypot(cx, cy));
  if (weight <= 0) return {x, y};
  const double turnX = (std::cos(FarTurn) - 1.0) * cx - std::sin(FarTurn) * cy;
  const double turnY = std::sin(FarTurn) * cx + (std::cos(FarTurn) - 1.0) * cy;
  return {x + weight * (FarShift.X + turnX + WobbleX.Sample(x, y)),
          y + weight * (FarShift.Y + turnY + WobbleY.Sample(x, y))};
}
