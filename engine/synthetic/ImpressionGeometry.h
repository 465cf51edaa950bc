#pragma once

#include "SynthField.h"

struct TPointF {
  double X = 0;
  double Y = 0;
};

// Where each pixel of an impression was taken from on its master: rotation, shift and scale of
// the whole press, plus the skin's elastic distortion, which is nil around the contact centre
// and grows with the distance from it.
struct TImpressionGeometry {
  TPointF ToMaster(TPointF AImagePoint) const;

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
