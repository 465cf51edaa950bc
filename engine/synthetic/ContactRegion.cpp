#include "ContactRegion.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Coarse grid for measuring shares of the finger's area: plenty for a share drawn at random.
constexpr int kAreaStep = 4;

struct TSamplePoint {
  double X;
  double Y;
};

std::vector<TSamplePoint> FingerSamples(const TFingerShape& AShape) {
  std::vector<TSamplePoint> samples;
  for (double y = AShape.CentreY - AShape.Top; y <= AShape.CentreY + AShape.Bottom; y += kAreaStep) {
    for (double x = AShape.CentreX - AShape.Left; x <= AShape.CentreX + AShape.Right; x += kAreaStep) {
      if (AShape.Inside(x, y) > 0) samples.push_back({x, y});
    }
  }
  return samples;
}

double CoveredShare(const TContactRegion& ARegion, const std::vector<TSamplePoint>& AFinger) {
  const auto covered = std::count_if(AFinger.begin(), AFinger.end(),
                                     [&](const TSamplePoint& point) { return ARegion.Inside(point.X, point.Y) > 0; });
  return AFinger.empty() ? 0.0 : static_cast<double>(covered) / static_cast<double>(AFinger.size());
}

}  // namespace

double TContactRegion::Inside(double AX, double AY) const {
  const double dx = AX - CentreX;
  const double dy = AY - CentreY;
  const double u = (AxisX * dx + AxisY * dy) / HalfWidth;
  const double v = (-AxisY * dx + AxisX * dy) / HalfHeight;
  return (1.0 - std::sqrt(u * u + v * v)) * std::min(HalfWidth, HalfHeight);
}

TContactRegion DrawContactRegion(TSynthRandom& ARandom, const TFingerShape& AShape, double AMinShare, double AMaxShare) {
  // Some contact is always left: an empty press is a different test, made without a finger.
  const double share = std::clamp(ARandom.Uniform(AMinShare, AMaxShare), 0.05, 1.0);
  TContactRegion region;
  region.CentreX = AShape.CentreX + ARandom.Uniform(-0.25, 0.25) * AShape.Left;
  region.CentreY = AShape.CentreY + ARandom.Uniform(-0.2, 0.25) * AShape.Top;
  const double angle = ARandom.Uniform(-0.4, 0.4);
  region.AxisX = std::cos(angle);
  region.AxisY = std::sin(angle);
  const double aspect = ARandom.Uniform(0.6, 1.0);
  const std::vector<TSamplePoint> finger = FingerSamples(AShape);
  // Bisection on the ellipse's size; the share grows with it.
  double low = 0.0;
  double high = 4.0 * std::max(AShape.Top + AShape.Bottom, AShape.Left + AShape.Right);
  for (int step = 0; step < 24; ++step) {
    const double middle = 0.5 * (low + high);
    region.HalfHeight = middle;
    region.HalfWidth = middle * aspect;
    (CoveredShare(region, finger) < share ? low : high) = middle;
  }
  region.HalfHeight = high;
  region.HalfWidth = high * aspect;
  return region;
}
