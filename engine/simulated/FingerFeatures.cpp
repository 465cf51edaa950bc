#include "FingerFeatures.h"

#include <algorithm>

namespace {

// SplitMix64: small, fast and fully determined by its seed, which keeps every simulated image
// reproducible.
class TSplitMix64 {
 public:
  explicit TSplitMix64(uint64_t ASeed) : FState(ASeed) {}

  uint64_t Next() {
    uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [ALow, AHigh].
  int Uniform(int ALow, int AHigh) {
    return ALow + static_cast<int>(Next() % static_cast<uint64_t>(AHigh - ALow + 1));
  }

 private:
  uint64_t FState;
};

// Keeps master minutiae away from the window's edge so press jitter never clips them.
constexpr int kEdgeMargin = 16;
// Minimum distance between two master minutiae, so that a jittered minutia stays closest to its
// own origin and the matcher pairs it unambiguously.
constexpr int kMinSpacing = 18;
constexpr int kMinMinutiae = 28;
constexpr int kMaxMasterMinutiae = 40;
constexpr int kPlacementAttempts = 4000;

uint8_t ClampToByte(int AValue) {
  return static_cast<uint8_t>(std::clamp(AValue, 0, 255));
}

uint8_t TurnAngle(uint8_t AAngle, int ADelta) {
  return static_cast<uint8_t>((AAngle + ADelta + 256) % 256);
}

bool FarFromAll(const std::vector<TSimulatedMinutia>& AExisting, int AX, int AY) {
  return std::all_of(AExisting.begin(), AExisting.end(), [&](const TSimulatedMinutia& m) {
    const int dx = m.X - AX;
    const int dy = m.Y - AY;
    return dx * dx + dy * dy >= kMinSpacing * kMinSpacing;
  });
}

TSimulatedMinutia RandomMinutia(TSplitMix64& ARandom, int ALow, int AHigh) {
  TSimulatedMinutia m;
  m.X = ClampToByte(ARandom.Uniform(ALow, AHigh));
  m.Y = ClampToByte(ARandom.Uniform(ALow, AHigh));
  m.Angle = ClampToByte(ARandom.Uniform(0, 255));
  m.Kind = ClampToByte(ARandom.Uniform(0, 1));
  return m;
}

}  // namespace

TFeatureSet FingerMasterFeatures(int32_t AFinger) {
  TSplitMix64 random(0x7E551BA5EED00000ull ^ static_cast<uint64_t>(static_cast<uint32_t>(AFinger)));
  const auto wanted = static_cast<std::size_t>(random.Uniform(kMinMinutiae, kMaxMasterMinutiae));
  TFeatureSet master;
  master.Quality = 100;
  for (int attempt = 0; attempt < kPlacementAttempts && master.Minutiae.size() < wanted;
       ++attempt) {
    const TSimulatedMinutia candidate = RandomMinutia(random, kEdgeMargin, 255 - kEdgeMargin);
    if (FarFromAll(master.Minutiae, candidate.X, candidate.Y)) master.Minutiae.push_back(candidate);
  }
  return master;
}

TFeatureSet SimulatePress(int32_t AFinger, int32_t AQuality, uint64_t APressSerial) {
  const int quality = std::clamp(AQuality, 0, 100);
  const int loss = 100 - quality;
  // The worse the image, the more each minutia wanders, the more are missed, and the more
  // false ones appear.
  const int shift = 2 + loss / 25;
  const int turn = 4 + loss / 20;
  const int dropPercent = loss * loss / 400;
  const int spurious = loss / 40;

  TSplitMix64 random((static_cast<uint64_t>(static_cast<uint32_t>(AFinger)) << 32) ^
                     (APressSerial * 0xD1B54A32D192ED03ull) ^ 0xA5A5F00Dull);
  TFeatureSet press;
  press.Quality = quality;
  for (const TSimulatedMinutia& origin : FingerMasterFeatures(AFinger).Minutiae) {
    if (random.Uniform(0, 99) < dropPercent) continue;
    TSimulatedMinutia m = origin;
    m.X = ClampToByte(origin.X + random.Uniform(-shift, shift));
    m.Y = ClampToByte(origin.Y + random.Uniform(-shift, shift));
    m.Angle = TurnAngle(origin.Angle, random.Uniform(-turn, turn));
    press.Minutiae.push_back(m);
  }
  for (int i = 0; i < spurious && press.Minutiae.size() < kMaxMinutiae; ++i) {
    press.Minutiae.push_back(RandomMinutia(random, 0, 255));
  }
  return press;
}
