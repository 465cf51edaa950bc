#include "ImpressionGeometry.h"

#include <cmath>
#include <utility>

TImpressionGeometry::TImpressionGeometry(TImpressionPose APose)
    : FPose(std::move(APose)),
      FRotationCos(std::cos(FPose.Rotation)),
      FRotationSin(std::sin(FPose.Rotation)),
      FTurnCos(std::cos(FPose.FarTurn)),
      FTurnSin(std::sin(FPose.FarTurn)) {}

TPointF TImpressionGeometry::ToMaster(TPointF AImagePoint) const {
  const TImpressionPose& pose = FPose;
  const double dx = (AImagePoint.X - pose.ImageCentre.X - pose.Shift.X) / pose.Scale;
  const double dy = (AImagePoint.Y - pose.ImageCentre.Y - pose.Shift.Y) / pose.Scale;
  const double x = pose.ImageCentre.X + FRotationCos * dx + FRotationSin * dy;
  const double y = pose.ImageCentre.Y - FRotationSin * dx + FRotationCos * dy;
  const double cx = x - pose.ContactCentre.X;
  const double cy = y - pose.ContactCentre.Y;
  const double weight = SmoothStep(pose.RigidRadius, pose.RigidRadius + pose.TransitionWidth, std::sqrt(cx * cx + cy * cy));
  if (weight <= 0) return {x, y};
  const double turnX = (FTurnCos - 1.0) * cx - FTurnSin * cy;
  const double turnY = FTurnSin * cx + (FTurnCos - 1.0) * cy;
  return {x + weight * (pose.FarShift.X + turnX + pose.WobbleX.Sample(x, y)),
          y + weight * (pose.FarShift.Y + turnY + pose.WobbleY.Sample(x, y))};
}
