#include "FingerShape.h"

#include <algorithm>
#include <cmath>

namespace {

// Superellipse exponents: 2 is an ellipse, larger is squarer.
constexpr double kTipExponent = 2.0;
constexpr double kJointExponent = 3.0;

}  // namespace

double TFingerShape::Inside(double AX, double AY) const {
  const double dx = AX - CentreX;
  const double dy = AY - CentreY;
  const double halfWidth = dx < 0 ? Left : Right;
  const double halfHeight = dy < 0 ? Top : Bottom;
  const double exponent = dy < 0 ? kTipExponent : kJointExponent;
  const double r = std::pow(std::pow(std::abs(dx) / halfWidth, exponent) +
                                std::pow(std::abs(dy) / halfHeight, exponent),
                            1.0 / exponent);
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
