#include "FingerShape.h"

#include <algorithm>
#include <cmath>

double TFingerShape::Inside(double AX, double AY) const {
  const double halfWidth = AX < CentreX ? Left : Right;
  const double halfHeight = AY < CentreY ? Top : Bottom;
  const double u = std::abs(AX - CentreX) / halfWidth;
  const double v = std::abs(AY - CentreY) / halfHeight;
  // Superellipse radius: an ellipse at the tip, squarer (exponent 3) towards the first joint.
  const double r = AY < CentreY ? std::sqrt(u * u + v * v) : std::cbrt(u * u * u + v * v * v);
  return (1.0 - r) * std::min(halfWidth, halfHeight);
}

TFingerShape DrawFingerShape(TSynthRandom& ARandom, int AImageWidth) {
  TFingerShape shape;
  const double width = ARandom.Uniform(300.0, 360.0);
  const double height = ARandom.Uniform(400.0, 480.0);
  const double leftShare = ARandom.Uniform(0.47, 0.53);
  shape.Left = width * leftShare;
  shape.Right = width - shape.Left;
  shape.Top = height * ARandom.Uniform(0.44, 0.48);
  shape.Bottom = height - shape.Top;
  shape.CentreX = AImageWidth / 2.0 + ARandom.Uniform(-8.0, 8.0);
  // The tip sits a little below the top edge; a long finger runs off the bottom as in a real press.
  shape.CentreY = ARandom.Uniform(8.0, 24.0) + shape.Top;
  return shape;
}
