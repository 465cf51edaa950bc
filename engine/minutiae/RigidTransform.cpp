#include "RigidTransform.h"

#include <cmath>

#include "Angles.h"

float TRigidTransform::Angle() const { return NormalizeAngle(std::atan2(Sin, Cos)); }

TRigidTransform FitRigidTransform(std::span<const TPointCorrespondence> APairs) {
  if (APairs.empty()) return {};
  TPlanePoint fromMean, toMean;
  for (const TPointCorrespondence& pair : APairs) {
    fromMean.X += pair.From.X;
    fromMean.Y += pair.From.Y;
    toMean.X += pair.To.X;
    toMean.Y += pair.To.Y;
  }
  const auto count = static_cast<float>(APairs.size());
  fromMean = {fromMean.X / count, fromMean.Y / count};
  toMean = {toMean.X / count, toMean.Y / count};
  float dot = 0, cross = 0;
  for (const TPointCorrespondence& pair : APairs) {
    const float fx = pair.From.X - fromMean.X, fy = pair.From.Y - fromMean.Y;
    const float tx = pair.To.X - toMean.X, ty = pair.To.Y - toMean.Y;
    dot += fx * tx + fy * ty;
    cross += fx * ty - fy * tx;
  }
  const float angle = (dot == 0 && cross == 0) ? 0 : std::atan2(cross, dot);
  TRigidTransform transform{std::cos(angle), std::sin(angle), 0, 0};
  const TPlanePoint turned = transform.Apply(fromMean);
  transform.Dx = toMean.X - turned.X;
  transform.Dy = toMean.Y - turned.Y;
  return transform;
}
