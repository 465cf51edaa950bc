#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "GreyImage.h"

// Measures ridges on a grey image the way a reader would, without the generator's internals:
// the ridge normal from the gradient structure tensor of a window, then the spacing of the
// grey level's crossings of its mean along that normal.

struct TRidgeSample {
  double Period = 0;     // pixels
  double Coherence = 0;  // 1: perfectly parallel ridges in the window, 0: no direction
};

inline double GreyAt(const TGreyImage& AImage, double AX, double AY) {
  const int x = std::clamp(static_cast<int>(AX), 0, AImage.Width - 2);
  const int y = std::clamp(static_cast<int>(AY), 0, AImage.Height - 2);
  const double fx = std::clamp(AX - x, 0.0, 1.0);
  const double fy = std::clamp(AY - y, 0.0, 1.0);
  const auto at = [&](int APx, int APy) { return static_cast<double>(AImage.Pixels[static_cast<size_t>(APy) * AImage.Width + APx]); };
  const double top = at(x, y) + fx * (at(x + 1, y) - at(x, y));
  const double bottom = at(x, y + 1) + fx * (at(x + 1, y + 1) - at(x, y + 1));
  return top + fy * (bottom - top);
}

// AX, AY: window centre, at least ARadius + 1 pixels from the image's edge.
inline TRidgeSample MeasureRidges(const TGreyImage& AImage, int AX, int AY, int ARadius = 16) {
  double xx = 0, yy = 0, xy = 0;
  for (int y = AY - ARadius; y <= AY + ARadius; ++y) {
    for (int x = AX - ARadius; x <= AX + ARadius; ++x) {
      const double gx = GreyAt(AImage, x + 1, y) - GreyAt(AImage, x - 1, y);
      const double gy = GreyAt(AImage, x, y + 1) - GreyAt(AImage, x, y - 1);
      xx += gx * gx;
      yy += gy * gy;
      xy += gx * gy;
    }
  }
  TRidgeSample sample;
  if (xx + yy <= 0) return sample;
  sample.Coherence = std::hypot(xx - yy, 2 * xy) / (xx + yy);
  const double normal = 0.5 * std::atan2(2 * xy, xx - yy);
  std::vector<double> profile;
  for (int t = -2 * ARadius; t <= 2 * ARadius; ++t) {
    profile.push_back(GreyAt(AImage, AX + t * std::cos(normal), AY + t * std::sin(normal)));
  }
  double mean = 0;
  for (const double value : profile) mean += value;
  mean /= static_cast<double>(profile.size());
  std::vector<double> crossings;
  for (size_t i = 1; i < profile.size(); ++i) {
    const double a = profile[i - 1] - mean;
    const double b = profile[i] - mean;
    if ((a < 0) != (b < 0)) crossings.push_back(static_cast<double>(i - 1) + a / (a - b));
  }
  if (crossings.size() >= 3) {
    sample.Period = 2.0 * (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
  }
  return sample;
}

inline double Median(std::vector<double> AValues) {
  if (AValues.empty()) return 0;
  std::nth_element(AValues.begin(), AValues.begin() + static_cast<std::ptrdiff_t>(AValues.size() / 2), AValues.end());
  return AValues[AValues.size() / 2];
}
