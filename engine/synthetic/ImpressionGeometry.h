#pragma once

#include "SynthField.h"

struct TPointF {
  double X = 0;
  double Y = 0;
};

// How one press lies on the sensor: rotation, shift and scale of the whole finger, plus the
// skin's elastic distortion, which is nil around the contact centre and grows with the distance
// from it.
struct TImpressionPose {
  TPointF ImageCentre;          // rotation and scale centre, in both images
  double Rotation = 0;          // radians, master to impression
  double Scale = 1;             // impression size / master size
  TPointF Shift;                // pixels, in the impression
  TPointF ContactCentre;        // in the master
  double RigidRadius = 0;       // no distortion closer than this to the contact centre
  double TransitionWidth = 1;   // distortion reaches full size this much further out
  TPointF FarShift;             // full distortion: a shift and a turn about the contact centre
  double FarTurn = 0;           // radians
  TFloatField WobbleX;          // smooth extra displacement (master grid), pixels
  TFloatField WobbleY;
};

// Where each pixel of an impression was taken from on its master.
class TImpressionGeometry {
 public:
  explicit TImpressionGeometry(TImpressionPose APose);

  const TImpressionPose& Pose() const { return FPose; }
  TPointF ToMaster(TPointF AImagePoint) const;

 private:
  TImpressionPose FPose;
  // Called for every pixel: the sines and cosines are worked out once.
  double FRotationCos;
  double FRotationSin;
  double FTurnCos;
  double FTurnSin;
};
