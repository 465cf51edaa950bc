#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "GreyImage.h"
#include "SyntheticFinger.h"

// Images to press on the virtual reader.
namespace fingers {

// Ridges and blanks are this size; synthetic fingers kSyntheticWidth x kSyntheticHeight.
constexpr int kWidth = 256;
constexpr int kHeight = 360;

// Straight ridges at right angles to AAngle (radians from the x axis, y downward), broken by
// ASingularities point singularities (each a minutia); the whole moved and turned as given.
inline TGreyImage Ridges(double AAngle, int ASingularities, unsigned ASeed, double AShiftX = 0,
                         double AShiftY = 0, double ARotation = 0) {
  std::mt19937 random(ASeed);
  std::uniform_real_distribution<double> unit(0, 1);
  struct TSingularity {
    double X, Y, Sign;
  };
  std::vector<TSingularity> singularities;
  for (int i = 0; i < ASingularities; ++i) {
    singularities.push_back({40 + unit(random) * (kWidth - 80), 40 + unit(random) * (kHeight - 80),
                             unit(random) < 0.5 ? 1.0 : -1.0});
  }
  TGreyImage image{kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight)};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double cx = x - kWidth / 2.0, cy = y - kHeight / 2.0;
      const double fx = cx * std::cos(ARotation) - cy * std::sin(ARotation) + kWidth / 2.0 + AShiftX;
      const double fy = cx * std::sin(ARotation) + cy * std::cos(ARotation) + kHeight / 2.0 + AShiftY;
      double phase = 2 * std::numbers::pi / 9.0 * (fx * std::cos(AAngle) + fy * std::sin(AAngle));
      for (const auto& s : singularities) phase += s.Sign * std::atan2(fy - s.Y, fx - s.X);
      double value = 0.5 + 0.5 * std::cos(phase);
      const double ex = (fx - kWidth / 2.0) / (kWidth * 0.48);
      const double ey = (fy - kHeight / 2.0) / (kHeight * 0.48);
      if (ex * ex + ey * ey > 1) value = 1;
      image.Pixels[y * kWidth + x] = static_cast<uint8_t>(40 + value * 200);
    }
  }
  return image;
}

// Impression AImpression of synthetic finger AFinger.
inline TGreyImage FingerImpression(unsigned AFinger, unsigned AImpression) {
  return SyntheticImpression(AFinger, AImpression);
}

inline TGreyImage Blank() { return {kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight, 255)}; }

inline TGreyImage Noise(unsigned ASeed) {
  return SyntheticNoiseImage(ASeed, kSyntheticWidth, kSyntheticHeight);
}

}  // namespace fingers
