#include <cmath>
#include <numbers>
#include <utility>

#include "ContactRegion.h"
#include "SyntheticFinger.h"

namespace {

// Independent random streams of one impression.
enum : uint64_t { kContactStream = 11, kPoseStream, kDistortionStream, kSkinStream, kSensorStream };

constexpr double kDegree = std::numbers::pi / 180.0;

// The finger seed takes part so that impression n of two fingers is not pressed the same way.
uint64_t ImpressionSeed(uint32_t AFingerSeed, uint32_t AImpressionSeed, uint64_t AStream) {
  return SynthStreamSeed(static_cast<uint64_t>(AFingerSeed) << 32 | AImpressionSeed, AStream);
}

// Sum of two uniforms: most draws near zero, none beyond ALimit.
double Triangular(TSynthRandom& ARandom, double ALimit) {
  return ALimit * (ARandom.Unit() + ARandom.Unit() - 1.0);
}

struct TSkin {
  double Bias = 0;          // pressure: < 0 dry, thin ridges; > 0 wet, thick ridges
  TFloatField BiasWander;   // local pressure changes
  TFloatField Breaks;       // where dry ridges break up
  TFloatField Smudges;      // where wet valleys fill up
};

struct TSensor {
  double RidgeGrey = 60;
  double ValleyGrey = 220;
  double BackgroundGrey = 235;
  double NoiseSigma = 5;
  TFloatField Shading;      // slow brightness change across the window
};

}  // namespace

TImpressionGeometry TSyntheticMaster::Geometry(uint32_t AImpressionSeed, const TImpressionOptions& AOptions) const {
  TSynthRandom contactRandom(ImpressionSeed(FSeed, AImpressionSeed, kContactStream));
  const TContactRegion contact = DrawContactRegion(contactRandom, FShape, AOptions.MinContact, AOptions.MaxContact);
  TSynthRandom pose(ImpressionSeed(FSeed, AImpressionSeed, kPoseStream));
  TImpressionPose geometry;
  geometry.ImageCentre = {kSyntheticWidth / 2.0, kSyntheticHeight / 2.0};
  geometry.Rotation = Triangular(pose, AOptions.MaxRotationDegrees * kDegree);
  geometry.Scale = 1.0 + pose.Uniform(-1.0, 1.0) * AOptions.MaxScaleChange;
  geometry.Shift = {Triangular(pose, AOptions.MaxShiftPixels), Triangular(pose, AOptions.MaxShiftPixels)};
  TSynthRandom distortion(ImpressionSeed(FSeed, AImpressionSeed, kDistortionStream));
  geometry.ContactCentre = {contact.CentreX, contact.CentreY};
  geometry.RigidRadius = distortion.Uniform(50.0, 90.0);
  geometry.TransitionWidth = distortion.Uniform(120.0, 200.0);
  const double strength = AOptions.Distortion;
  const double farShift = strength * distortion.Uniform(0.0, 10.0);
  const double farDirection = distortion.Uniform(0.0, 2.0 * std::numbers::pi);
  geometry.FarShift = {farShift * std::cos(farDirection), farShift * std::sin(farDirection)};
  geometry.FarTurn = strength * distortion.Uniform(-3.0, 3.0) * kDegree;
  geometry.WobbleX = SmoothNoiseField(distortion, kSyntheticWidth, kSyntheticHeight, 160.0);
  geometry.WobbleY = SmoothNoiseField(distortion, kSyntheticWidth, kSyntheticHeight, 160.0);
  const double wobble = strength * 3.0;
  for (float& value : geometry.WobbleX.Values) value *= static_cast<float>(wobble);
  for (float& value : geometry.WobbleY.Values) value *= static_cast<float>(wobble);
  return TImpressionGeometry(std::move(geometry));
}

namespace {

TSkin DrawSkin(TSynthRandom& ARandom, double APressure) {
  TSkin skin;
  skin.Bias = Triangular(ARandom, 0.5 * APressure);
  skin.BiasWander = SmoothNoiseField(ARandom, kSyntheticWidth, kSyntheticHeight, 120.0);
  for (float& value : skin.BiasWander.Values) value *= static_cast<float>(0.15 * APressure);
  skin.Breaks = BlotchNoiseField(ARandom, kSyntheticWidth, kSyntheticHeight, 5);
  skin.Smudges = BlotchNoiseField(ARandom, kSyntheticWidth, kSyntheticHeight, 9);
  return skin;
}

TSensor DrawSensor(TSynthRandom& ARandom, double ANoise) {
  TSensor sensor;
  sensor.RidgeGrey = ARandom.Uniform(40.0, 80.0);
  sensor.ValleyGrey = ARandom.Uniform(200.0, 240.0);
  sensor.BackgroundGrey = std::min(255.0, sensor.ValleyGrey + ARandom.Uniform(0.0, 15.0));
  sensor.NoiseSigma = ANoise * ARandom.Uniform(3.0, 9.0);
  sensor.Shading = SmoothNoiseField(ARandom, kSyntheticWidth, kSyntheticHeight, 400.0);
  for (float& value : sensor.Shading.Values) value *= static_cast<float>(6.0 * ANoise);
  return sensor;
}

// How dark the skin leaves one point, 0 (valley or no contact) to 1 (full ridge).
double RidgeDarkness(float ARidge, double ABias, double ABreak, double ASmudge) {
  const double ridge = 0.5 + 0.5 * std::clamp(1.6 * (ARidge + ABias), -1.0, 1.0);
  // Dry skin: ridges break up where the texture is high; the drier, the more of them.
  const double dryness = std::clamp(-2.0 * ABias, 0.0, 1.0);
  const double broken = SmoothStep(2.0 - 0.9 * dryness, 2.3 - 0.9 * dryness, ABreak) * dryness;
  // Wet skin: blotches fill valleys and merge neighbouring ridges.
  const double wetness = std::clamp(2.0 * ABias, 0.0, 1.0);
  const double smudged = SmoothStep(2.0 - 0.8 * wetness, 2.4 - 0.8 * wetness, ASmudge) * wetness;
  return std::max(ridge * (1.0 - broken), 0.8 * smudged);
}

// 3x3 binomial blur: ridge edges on a real sensor are never sharper than that.
std::vector<float> Blur(const std::vector<float>& AImage) {
  std::vector<float> result(AImage.size());
  const auto at = [&](int AX, int AY) {
    return AImage[static_cast<size_t>(std::clamp(AY, 0, kSyntheticHeight - 1)) * kSyntheticWidth +
                  std::clamp(AX, 0, kSyntheticWidth - 1)];
  };
  for (int y = 0; y < kSyntheticHeight; ++y) {
    for (int x = 0; x < kSyntheticWidth; ++x) {
      const float row0 = at(x - 1, y - 1) + 2 * at(x, y - 1) + at(x + 1, y - 1);
      const float row1 = at(x - 1, y) + 2 * at(x, y) + at(x + 1, y);
      const float row2 = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1);
      result[static_cast<size_t>(y) * kSyntheticWidth + x] = (row0 + 2 * row1 + row2) / 16.0f;
    }
  }
  return result;
}

}  // namespace

TGreyImage TSyntheticMaster::Impression(uint32_t AImpressionSeed, const TImpressionOptions& AOptions) const {
  const TImpressionGeometry geometry = Geometry(AImpressionSeed, AOptions);
  TSynthRandom contactRandom(ImpressionSeed(FSeed, AImpressionSeed, kContactStream));
  const TContactRegion contact = DrawContactRegion(contactRandom, FShape, AOptions.MinContact, AOptions.MaxContact);
  TSynthRandom skinRandom(ImpressionSeed(FSeed, AImpressionSeed, kSkinStream));
  const TSkin skin = DrawSkin(skinRandom, AOptions.Pressure);
  TSynthRandom sensorRandom(ImpressionSeed(FSeed, AImpressionSeed, kSensorStream));
  const TSensor sensor = DrawSensor(sensorRandom, AOptions.Noise);
  std::vector<float> grey(static_cast<size_t>(kSyntheticWidth) * kSyntheticHeight);
  for (int y = 0; y < kSyntheticHeight; ++y) {
    for (int x = 0; x < kSyntheticWidth; ++x) {
      const TPointF master = geometry.ToMaster({static_cast<double>(x), static_cast<double>(y)});
      const double edge = std::min(FShape.Inside(master.X, master.Y), contact.Inside(master.X, master.Y));
      const size_t i = static_cast<size_t>(y) * kSyntheticWidth + x;
      double darkness = 0;
      double touch = 0;
      if (edge > -2.0) {
        touch = SmoothStep(-2.0, 2.0, edge);
        // Less pressure towards the edge of the contact: thinner, fainter ridges there.
        const double bias = skin.Bias + skin.BiasWander.Values[i] - 0.5 * (1.0 - SmoothStep(0.0, 30.0, edge));
        darkness = touch * RidgeDarkness(FRidges.Sample(master.X, master.Y), bias, skin.Breaks.Values[i], skin.Smudges.Values[i]);
      }
      const double light = sensor.BackgroundGrey + touch * (sensor.ValleyGrey - sensor.BackgroundGrey);
      grey[i] = static_cast<float>(light - darkness * (sensor.ValleyGrey - sensor.RidgeGrey) + sensor.Shading.Values[i]);
    }
  }
  grey = Blur(grey);
  TGreyImage image{kSyntheticWidth, kSyntheticHeight, std::vector<uint8_t>(grey.size())};
  for (size_t i = 0; i < grey.size(); ++i) {
    const double value = grey[i] + sensor.NoiseSigma * sensorRandom.Normal();
    image.Pixels[i] = static_cast<uint8_t>(std::clamp(std::lround(value), 0l, 255l));
  }
  return image;
}

TGreyImage SyntheticNoiseImage(uint32_t ASeed, int AWidth, int AHeight) {
  TSynthRandom random(SynthStreamSeed(ASeed, kSensorStream));
  const TFloatField blotches = BlotchNoiseField(random, AWidth, AHeight, 4);
  TGreyImage image{AWidth, AHeight, std::vector<uint8_t>(blotches.Values.size())};
  for (size_t i = 0; i < blotches.Values.size(); ++i) {
    const double value = 150.0 + 45.0 * blotches.Values[i] + 12.0 * random.Normal();
    image.Pixels[i] = static_cast<uint8_t>(std::clamp(std::lround(value), 0l, 255l));
  }
  return image;
}
