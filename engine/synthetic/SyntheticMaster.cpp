#include <cmath>

#include "FingerPattern.h"
#include "RidgeGrowth.h"
#include "SyntheticFinger.h"

namespace {

// Independent random streams of one finger.
enum : uint64_t { kShapeStream = 1, kPatternStream, kOrientationStream, kPeriodStream, kGrowthStream };

// Ridges are grown this far beyond the outline so that a press that flattens the finger a
// little more still finds ridges there.
constexpr double kGrowthMargin = 10.0;
// Pressed skin leaves a soft edge a few pixels wide.
constexpr double kEdgeSoftness = 3.0;

TFloatField RidgePeriod(TSynthRandom& ARandom) {
  const double mean = ARandom.Uniform(8.9, 9.9);
  TFloatField period = SmoothNoiseField(ARandom, kSyntheticWidth, kSyntheticHeight, 220.0);
  for (float& value : period.Values) value = static_cast<float>(std::clamp(mean + 0.6 * value, 8.0, 11.0));
  return period;
}

}  // namespace

TSyntheticMaster::TSyntheticMaster(uint32_t AFingerSeed) : FSeed(AFingerSeed) {
  TSynthRandom shapeRandom(SynthStreamSeed(AFingerSeed, kShapeStream));
  FShape = DrawFingerShape(shapeRandom, kSyntheticWidth);
  TSynthRandom patternRandom(SynthStreamSeed(AFingerSeed, kPatternStream));
  const TPatternLayout layout = DrawPatternLayout(patternRandom, FShape);
  FPattern = layout.Pattern;
  TSynthRandom orientationRandom(SynthStreamSeed(AFingerSeed, kOrientationStream));
  const TFloatField orientation = RidgeOrientation(layout, FShape, orientationRandom, kSyntheticWidth, kSyntheticHeight);
  TSynthRandom periodRandom(SynthStreamSeed(AFingerSeed, kPeriodStream));
  const TFloatField period = RidgePeriod(periodRandom);
  TFloatField region(kSyntheticWidth, kSyntheticHeight);
  for (int y = 0; y < kSyntheticHeight; ++y) {
    for (int x = 0; x < kSyntheticWidth; ++x) region.At(x, y) = static_cast<float>(FShape.Inside(x, y) + kGrowthMargin);
  }
  TSynthRandom growthRandom(SynthStreamSeed(AFingerSeed, kGrowthStream));
  FRidges = GrowRidges({&orientation, &period, &region}, growthRandom);
}

TGreyImage TSyntheticMaster::Image() const {
  TGreyImage image{kSyntheticWidth, kSyntheticHeight, std::vector<uint8_t>(FRidges.Values.size())};
  for (int y = 0; y < kSyntheticHeight; ++y) {
    for (int x = 0; x < kSyntheticWidth; ++x) {
      const double inside = SmoothStep(-kEdgeSoftness, kEdgeSoftness, FShape.Inside(x, y));
      const double ridge = 0.5 + 0.5 * std::clamp(1.5 * FRidges.At(x, y), -1.0, 1.0);
      image.Pixels[static_cast<size_t>(y) * kSyntheticWidth + x] =
          static_cast<uint8_t>(std::lround(255.0 * (1.0 - inside * ridge)));
    }
  }
  return image;
}

TGreyImage SyntheticMasterFinger(uint32_t AFingerSeed) { return TSyntheticMaster(AFingerSeed).Image(); }

TGreyImage SyntheticImpression(uint32_t AFingerSeed, uint32_t AImpressionSeed, const TImpressionOptions& AOptions) {
  return TSyntheticMaster(AFingerSeed).Impression(AImpressionSeed, AOptions);
}
