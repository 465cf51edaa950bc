#include "FingerPattern.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// Share of each class in the population, per mille (the figures usually quoted for
// ten-print collections).
struct TPatternShare {
  TFingerPattern Pattern;
  int PerMille;
};
constexpr TPatternShare kPatternShares[] = {
    {TFingerPattern::Arch, 37},      {TFingerPattern::TentedArch, 29}, {TFingerPattern::LeftLoop, 338},
    {TFingerPattern::RightLoop, 317}, {TFingerPattern::Whorl, 279},
};

TFingerPattern DrawPattern(TSynthRandom& ARandom) {
  int draw = static_cast<int>(ARandom.Unit() * 1000.0);
  for (const TPatternShare& share : kPatternShares) {
    if (draw < share.PerMille) return share.Pattern;
    draw -= share.PerMille;
  }
  return TFingerPattern::Whorl;
}

void PlaceLoop(TSynthRandom& ARandom, const TFingerShape& AShape, double ADeltaSide, TPatternLayout& ALayout) {
  const double coreX = AShape.CentreX - ADeltaSide * ARandom.Uniform(0.0, 30.0);
  const double coreY = AShape.CentreY - ARandom.Uniform(10.0, 60.0);
  ALayout.Singularities.push_back({coreX, coreY, true});
  ALayout.Singularities.push_back(
      {coreX + ADeltaSide * ARandom.Uniform(90.0, 140.0), coreY + ARandom.Uniform(60.0, 110.0), false});
}

void PlaceWhorl(TSynthRandom& ARandom, const TFingerShape& AShape, TPatternLayout& ALayout) {
  const double centreX = AShape.CentreX + ARandom.Uniform(-20.0, 20.0);
  const double centreY = AShape.CentreY - ARandom.Uniform(10.0, 50.0);
  const double separation = ARandom.Uniform(12.0, 45.0);
  const double direction = ARandom.Uniform(0.0, kPi);
  const double dx = 0.5 * separation * std::cos(direction);
  const double dy = 0.5 * separation * std::sin(direction);
  ALayout.Singularities.push_back({centreX + dx, centreY + dy, true});
  ALayout.Singularities.push_back({centreX - dx, centreY - dy, true});
  for (const double side : {-1.0, 1.0}) {
    ALayout.Singularities.push_back(
        {centreX + side * ARandom.Uniform(90.0, 130.0), centreY + ARandom.Uniform(100.0, 150.0), false});
  }
}

void PlaceTentedArch(TSynthRandom& ARandom, const TFingerShape& AShape, TPatternLayout& ALayout) {
  const double coreX = AShape.CentreX + ARandom.Uniform(-20.0, 20.0);
  const double coreY = AShape.CentreY + ARandom.Uniform(-40.0, 20.0);
  ALayout.Singularities.push_back({coreX, coreY, true});
  ALayout.Singularities.push_back({coreX + ARandom.Uniform(-10.0, 10.0), coreY + ARandom.Uniform(50.0, 90.0), false});
}

void PlaceArch(TSynthRandom& ARandom, const TFingerShape& AShape, TPatternLayout& ALayout) {
  ALayout.ArchCentreX = AShape.CentreX + ARandom.Uniform(-20.0, 20.0);
  ALayout.ArchCentreY = AShape.CentreY + ARandom.Uniform(-40.0, 20.0);
  ALayout.ArchWidth = ARandom.Uniform(90.0, 140.0);
  ALayout.ArchHeight = ARandom.Uniform(120.0, 180.0);
  ALayout.ArchSlope = ARandom.Uniform(0.7, 1.3);
}

// Ridges of a plain arch follow y = c - A(c) g(x): a bump whose height fades away from the
// arch's centre line; the direction is the slope of that curve.
double ArchAngle(const TPatternLayout& ALayout, double AX, double AY) {
  const double u = (AX - ALayout.ArchCentreX) / ALayout.ArchWidth;
  const double v = (AY - ALayout.ArchCentreY) / ALayout.ArchHeight;
  const double slope = ALayout.ArchSlope * 2.0 * u * std::exp(-u * u - v * v);
  return std::atan(slope);
}

// Zero-pole model: each core turns the direction by half its angle around it, each delta by
// minus half.
double SingularityAngle(const TPatternLayout& ALayout, double AX, double AY) {
  double angle = 0;
  for (const TSingularity& point : ALayout.Singularities) {
    const double around = std::atan2(AY - point.Y, AX - point.X);
    angle += point.Core ? 0.5 * around : -0.5 * around;
  }
  return angle;
}

// Away from the cores and deltas, ridges run across the finger below them and follow the
// fingertip's outline above them.
double FingerFlowAngle(const TFingerShape& AShape, double ACoreY, double AX, double AY) {
  const double halfWidth = AX < AShape.CentreX ? AShape.Left : AShape.Right;
  const double gx = (AX - AShape.CentreX) / (halfWidth * halfWidth);
  const double gy = (AY - AShape.CentreY) / (AShape.Top * AShape.Top);
  const double outline = std::atan2(gx, -gy);
  const double above = SmoothStep(0.0, 150.0, ACoreY - AY);
  return 0.5 * std::atan2(above * std::sin(2 * outline), above * std::cos(2 * outline) + (1.0 - above));
}

// The zero-pole model alone keeps turning ridges far from the singularities, which real
// fingers do not: its share fades with the distance from the nearest one.
double BlendedAngle(const TPatternLayout& ALayout, const TFingerShape& AShape, double ACoreY, double AX, double AY) {
  constexpr double kReach = 140.0;
  double nearest = 1e9;
  for (const TSingularity& point : ALayout.Singularities) {
    nearest = std::min(nearest, std::sqrt((AX - point.X) * (AX - point.X) + (AY - point.Y) * (AY - point.Y)));
  }
  const double weight = std::exp(-(nearest / kReach) * (nearest / kReach));
  const double model = SingularityAngle(ALayout, AX, AY);
  const double flow = FingerFlowAngle(AShape, ACoreY, AX, AY);
  return 0.5 * std::atan2(weight * std::sin(2 * model) + (1 - weight) * std::sin(2 * flow),
                          weight * std::cos(2 * model) + (1 - weight) * std::cos(2 * flow));
}

}  // namespace

TPatternLayout DrawPatternLayout(TSynthRandom& ARandom, const TFingerShape& AShape) {
  TPatternLayout layout;
  layout.Pattern = DrawPattern(ARandom);
  layout.BaseAngle = ARandom.Uniform(-0.12, 0.12);
  switch (layout.Pattern) {
    case TFingerPattern::Arch: PlaceArch(ARandom, AShape, layout); break;
    case TFingerPattern::TentedArch: PlaceTentedArch(ARandom, AShape, layout); break;
    case TFingerPattern::LeftLoop: PlaceLoop(ARandom, AShape, 1.0, layout); break;
    case TFingerPattern::RightLoop: PlaceLoop(ARandom, AShape, -1.0, layout); break;
    case TFingerPattern::Whorl: PlaceWhorl(ARandom, AShape, layout); break;
  }
  return layout;
}

TFloatField RidgeOrientation(const TPatternLayout& ALayout, const TFingerShape& AShape, TSynthRandom& ARandom, int AWidth,
                             int AHeight) {
  // A slow wander keeps two fingers of one class from looking alike away from the singularities.
  const TFloatField wander = SmoothNoiseField(ARandom, AWidth, AHeight, 260.0);
  constexpr double kWanderRadians = 0.08;
  TFloatField orientation(AWidth, AHeight);
  const bool arch = ALayout.Pattern == TFingerPattern::Arch;
  double coreY = 0;
  for (const TSingularity& point : ALayout.Singularities) coreY = point.Core ? std::max(coreY, point.Y) : coreY;
  for (int y = 0; y < AHeight; ++y) {
    for (int x = 0; x < AWidth; ++x) {
      double angle = arch ? ArchAngle(ALayout, x, y) : BlendedAngle(ALayout, AShape, coreY, x, y);
      angle += ALayout.BaseAngle + kWanderRadians * wander.At(x, y);
      angle = std::fmod(angle, kPi);
      if (angle < 0) angle += kPi;
      orientation.At(x, y) = static_cast<float>(angle);
    }
  }
  return orientation;
}
