#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "PressQuality.h"
#include "SyntheticFinger.h"
#include "SyntheticImages.h"

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 400;

// Forty minutiae over the whole frame, the same for every image: what decides is where the image
// shows ridges, not how many minutiae an extractor reported.
std::vector<TMinutia> MinutiaeAllOver() {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> x(0, kWidth), y(0, kHeight), direction(0, 6.28f);
  std::vector<TMinutia> minutiae;
  for (int i = 0; i < 40; ++i) minutiae.push_back({x(random), y(random), direction(random)});
  return minutiae;
}

TGreyImage Ridges(float AContactShare, float AContrast = 1, int ABlurRadius = 0,
                  float ANoise = 0) {
  return MakeRidgeImage({kWidth, kHeight, AContactShare, AContrast, ABlurRadius, ANoise});
}

TGreyImage Noise() {
  std::mt19937 random(11);
  return MakeNoiseImage(kWidth, kHeight, random);
}

struct TQualityCase {
  std::string Name;
  std::function<TGreyImage()> Image;
  int32_t MinQuality;
  int32_t MaxQuality;
  std::vector<int32_t> FeatureInfos;  // any of these
};

TEST(PressQualityTest, JudgesTheImageNotTheMinutiaeCount) {
  const std::vector<TQualityCase> cases = {
      {"finger filling the frame", [] { return Ridges(0.75f); }, 70, 100, {0}},
      {"finger at half contrast", [] { return Ridges(0.75f, 0.5f); }, 70, 100, {0}},
      {"finger on most of the frame", [] { return Ridges(0.5f); }, 50, 100, {0}},
      // Faint is not unclear: ridges 20 grey levels deep over a sensor noise of 3.
      {"faint finger on a quiet sensor", [] { return Ridges(0.75f, 0.08f, 0, 3); }, 50, 100, {0}},
      // Only the few minutiae inside the contact count.
      {"small contact, 15 % of the frame", [] { return Ridges(0.15f); }, 0, 49, {-1, 1}},
      {"sliver of contact, 2 % of the frame", [] { return Ridges(0.02f); }, 0, 19, {1}},
      // Smeared over two ridge periods, the ridges sink into the sensor's noise.
      {"smudged finger", [] { return Ridges(0.75f, 1, 9, 8); }, 0, 49, {-1, 1}},
      {"noise", Noise, 0, 19, {1}},
      {"blank white", [] { return MakeBlankImage(kWidth, kHeight, 255); }, 0, 0, {1}},
      {"blank grey", [] { return MakeBlankImage(kWidth, kHeight, 128); }, 0, 0, {1}},
  };
  const std::vector<TMinutia> minutiae = MinutiaeAllOver();
  for (const TQualityCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPressQuality quality = MeasurePressQuality(c.Image(), minutiae);
    EXPECT_GE(quality.Quality, c.MinQuality);
    EXPECT_LE(quality.Quality, c.MaxQuality);
    EXPECT_THAT(c.FeatureInfos, ::testing::Contains(quality.FeatureInfo));
  }
}

// The project's fingerprint generator: ridges with real shapes, pressure, skin distortion and
// sensor noise.
TEST(PressQualityTest, GeneratedImpressionsAreGoodAndBlotchyNoiseIsPoor) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> x(0, kSyntheticWidth), y(0, kSyntheticHeight);
  std::vector<TMinutia> minutiae;
  for (int i = 0; i < 50; ++i) minutiae.push_back({x(random), y(random), 0});
  for (uint32_t finger : {1u, 2u}) {
    const TSyntheticMaster master(finger);
    for (uint32_t impression : {1u, 2u}) {
      const TPressQuality quality = MeasurePressQuality(master.Impression(impression), minutiae);
      EXPECT_GE(quality.Quality, 50) << finger << "/" << impression;
      EXPECT_EQ(quality.FeatureInfo, 0) << finger << "/" << impression;
    }
  }
  for (uint32_t seed : {1u, 2u}) {
    const TPressQuality quality =
        MeasurePressQuality(SyntheticNoiseImage(seed, kSyntheticWidth, kSyntheticHeight), minutiae);
    EXPECT_EQ(quality.FeatureInfo, 1) << seed;
  }
}

TEST(PressQualityTest, FewMinutiaeInAGoodImageLowerTheQuality) {
  const TGreyImage finger = Ridges(0.75f);
  const std::vector<TMinutia> all = MinutiaeAllOver();
  const TPressQuality many = MeasurePressQuality(finger, all);
  const TPressQuality few = MeasurePressQuality(finger, std::span(all).first(3));
  const TPressQuality none = MeasurePressQuality(finger, {});
  EXPECT_GT(many.Quality, few.Quality);
  EXPECT_EQ(none.Quality, 0);
  EXPECT_EQ(none.FeatureInfo, 1);
}

TEST(PressQualityTest, ImagesWithoutWholeBlocksOrWithBadSizesArePoor) {
  const std::vector<TGreyImage> images = {
      {},
      MakeBlankImage(8, 8, 0),
      {kWidth, kHeight, std::vector<uint8_t>(10, 0)},  // fewer pixels than the size says
      {-5, 10, {}},
  };
  for (const TGreyImage& image : images) {
    const TPressQuality quality = MeasurePressQuality(image, MinutiaeAllOver());
    EXPECT_EQ(quality.Quality, 0);
    EXPECT_EQ(quality.FeatureInfo, 1);
  }
}

}  // namespace
