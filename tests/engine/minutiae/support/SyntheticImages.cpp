#include "SyntheticImages.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kRidgePeriod = 9;

// Ridges as rings about a point above the frame, bent by a slow wave: arcs whose orientation
// turns across the frame, as on a fingertip.
float RidgePhase(float AX, float AY, int AWidth) {
  const float cx = static_cast<float>(AWidth) / 2, cy = -60;
  const float radius = std::hypot(AX - cx, AY - cy);
  return radius + 6 * std::sin(AX / 40.0f);
}

TGreyImage BoxBlur(const TGreyImage& AImage, int ARadius) {
  TGreyImage blurred = AImage;
  for (int y = 0; y < AImage.Height; ++y) {
    for (int x = 0; x < AImage.Width; ++x) {
      int sum = 0, count = 0;
      for (int dy = -ARadius; dy <= ARadius; ++dy) {
        for (int dx = -ARadius; dx <= ARadius; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= AImage.Width || sy >= AImage.Height) continue;
          sum += AImage.Pixels[static_cast<std::size_t>(sy * AImage.Width + sx)];
          ++count;
        }
      }
      blurred.Pixels[static_cast<std::size_t>(y * AImage.Width + x)] =
          static_cast<uint8_t>(sum / count);
    }
  }
  return blurred;
}

}  // namespace

TGreyImage MakeRidgeImage(const TRidgeImageOptions& AOptions) {
  TGreyImage image{
      AOptions.Width, AOptions.Height,
      std::vector<uint8_t>(static_cast<std::size_t>(AOptions.Width * AOptions.Height), 255)};
  // An ellipse of the frame's proportions centred in it, scaled to the wanted share.
  const float scale = std::sqrt(AOptions.ContactShare * 4 / std::numbers::pi_v<float>);
  const float halfWidth = scale * static_cast<float>(AOptions.Width) / 2;
  const float halfHeight = scale * static_cast<float>(AOptions.Height) / 2;
  const float cx = static_cast<float>(AOptions.Width) / 2,
              cy = static_cast<float>(AOptions.Height) / 2;
  for (int y = 0; y < AOptions.Height; ++y) {
    for (int x = 0; x < AOptions.Width; ++x) {
      const float nx = (static_cast<float>(x) - cx) / halfWidth,
                  ny = (static_cast<float>(y) - cy) / halfHeight;
      if (nx * nx + ny * ny > 1) continue;
      const float wave = std::cos(
          2 * std::numbers::pi_v<float> *
          RidgePhase(static_cast<float>(x), static_cast<float>(y), AOptions.Width) / kRidgePeriod);
      const float grey = 128 + 127 * AOptions.Contrast * wave;
      image.Pixels[static_cast<std::size_t>(y * AOptions.Width + x)] =
          static_cast<uint8_t>(std::clamp(grey, 0.0f, 255.0f));
    }
  }
  if (AOptions.BlurRadius > 0) image = BoxBlur(image, AOptions.BlurRadius);
  if (AOptions.NoiseDeviation > 0) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, AOptions.NoiseDeviation);
    for (uint8_t& pixel : image.Pixels) {
      pixel =
          static_cast<uint8_t>(std::clamp(static_cast<float>(pixel) + noise(random), 0.0f, 255.0f));
    }
  }
  return image;
}

TGreyImage MakeNoiseImage(int AWidth, int AHeight, std::mt19937& ARandom) {
  TGreyImage image{AWidth, AHeight,
                   std::vector<uint8_t>(static_cast<std::size_t>(AWidth * AHeight))};
  std::uniform_int_distribution<int> grey(0, 255);
  for (uint8_t& pixel : image.Pixels) pixel = static_cast<uint8_t>(grey(ARandom));
  return image;
}

TGreyImage MakeBlankImage(int AWidth, int AHeight, uint8_t AGrey) {
  return {AWidth, AHeight, std::vector<uint8_t>(static_cast<std::size_t>(AWidth * AHeight), AGrey)};
}
