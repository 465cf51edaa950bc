#pragma once

#include <span>

#include "PlanePoint.h"

// A rotation about the origin followed by a shift.
struct TRigidTransform {
  float Cos = 1;
  float Sin = 0;
  float Dx = 0;
  float Dy = 0;

  TPlanePoint Apply(TPlanePoint APoint) const {
    return {Cos * APoint.X - Sin * APoint.Y + Dx, Sin * APoint.X + Cos * APoint.Y + Dy};
  }
  float Angle() const;
};

struct TPointCorrespondence {
  TPlanePoint From;
  TPlanePoint To;
};

// The rotation and shift that bring the From points closest to the To points (least squares).
TRigidTransform FitRigidTransform(std::span<const TPointCorrespondence> APairs);
