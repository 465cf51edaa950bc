#include "RidgeGrowth.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kRadius = 5;
constexpr int kSide = 2 * kRadius + 1;
// Kernel rows padded with zeros to a multiple of the vector width, so that the compiler turns
// the row loop into whole vector operations.
constexpr int kRowTaps = 12;
constexpr int kTaps = kSide * kRowTaps;
constexpr int kOrientations = 32;
constexpr double kMinPeriod = 7.0;
constexpr double kPeriodStep = 0.25;
constexpr int kPeriods = 21;  // 7 .. 12 pixels
// Above 1 so that a weak but coherent pattern grows to full strength; the clip keeps it bounded.
constexpr float kGain = 2.5f;
constexpr int kMinIterations = 8;
constexpr int kMaxIterations = 40;
// Stable: fewer than this share of the pixels still moved noticeably in the last pass.
constexpr double kStableShare = 0.003;
constexpr float kMoved = 0.25f;
// Changes below this leave a block settled: its last small creep is not worth another pass.
constexpr float kSettled = 0.1f;

// One kernel per quantised direction and period. Zero mean, so flat areas stay flat, and unit
// response to a ridge pattern of its own direction and period.
class TGaborBank {
 public:
  TGaborBank() : FKernels(static_cast<size_t>(kOrientations) * kPeriods * kTaps) {
    for (int o = 0; o < kOrientations; ++o) {
      for (int p = 0; p < kPeriods; ++p) Build(o, p);
    }
  }

  const float* Kernel(int AIndex) const { return &FKernels[static_cast<size_t>(AIndex) * kTaps]; }

  static int Index(float AOrientation, float APeriod) {
    int o = static_cast<int>(std::lround(AOrientation / kPi * kOrientations)) % kOrientations;
    if (o < 0) o += kOrientations;
    const int p = std::clamp(static_cast<int>(std::lround((APeriod - kMinPeriod) / kPeriodStep)), 0, kPeriods - 1);
    return o * kPeriods + p;
  }

 private:
  void Build(int AOrientation, int APeriod) {
    const double ridge = AOrientation * kPi / kOrientations;
    const double period = kMinPeriod + APeriod * kPeriodStep;
    // Longer along the ridge than across: it carries ridges on without blurring their spacing.
    const double sigmaAlong = 0.55 * period;
    const double sigmaAcross = 0.38 * period;
    double envelope[kTaps] = {};
    double wave[kTaps] = {};
    double envelopeSum = 0;
    double waveSum = 0;
    for (int dy = -kRadius; dy <= kRadius; ++dy) {
      for (int dx = -kRadius; dx <= kRadius; ++dx) {
        const double along = dx * std::cos(ridge) + dy * std::sin(ridge);
        const double across = -dx * std::sin(ridge) + dy * std::cos(ridge);
        const int i = (dy + kRadius) * kRowTaps + dx + kRadius;
        envelope[i] = std::exp(-0.5 * (along * along / (sigmaAlong * sigmaAlong) +
                                       across * across / (sigmaAcross * sigmaAcross)));
        wave[i] = std::cos(2.0 * kPi * across / period);
        envelopeSum += envelope[i];
        waveSum += envelope[i] * wave[i];
      }
    }
    const double mean = waveSum / envelopeSum;
    double response = 0;
    for (int i = 0; i < kTaps; ++i) response += envelope[i] * (wave[i] - mean) * wave[i];
    float* kernel = &FKernels[(static_cast<size_t>(AOrientation) * kPeriods + APeriod) * kTaps];
    for (int i = 0; i < kTaps; ++i) kernel[i] = static_cast<float>(envelope[i] * (wave[i] - mean) / response);
  }

  std::vector<float> FKernels;
};

const TGaborBank& GaborBank() {
  static const TGaborBank bank;
  return bank;
}

struct TActivePixel {
  int32_t Offset;  // in the padded buffer
  int32_t Kernel;
  int32_t Block;
};

// A pass only recomputes pixels near something that changed in the previous pass: the others
// would get about the value they have. Saves most of the work while ridges spread from the
// seeds and again once most of the pattern has settled.
class TChangedBlocks {
 public:
  static constexpr int kSize = 8;  // not below kRadius, so a pixel's inputs lie in the 3x3 blocks around it

  TChangedBlocks(int AWidth, int AHeight)
      : FWide(AWidth / kSize + 1), FHigh(AHeight / kSize + 1), FChanged(static_cast<size_t>(FWide) * FHigh, 0) {}

  int Block(int AX, int AY) const { return AY / kSize * FWide + AX / kSize; }
  void MarkChanged(int ABlock) { FChanged[static_cast<size_t>(ABlock)] = 1; }

  // Blocks to recompute in this pass; starts the record of the changes this pass makes.
  std::vector<uint8_t> TakeNeeded() {
    std::vector<uint8_t> needed(FChanged.size(), 0);
    for (int by = 0; by < FHigh; ++by) {
      for (int bx = 0; bx < FWide; ++bx) {
        if (!FChanged[static_cast<size_t>(by) * FWide + bx]) continue;
        for (int y = std::max(by - 1, 0); y <= std::min(by + 1, FHigh - 1); ++y) {
          for (int x = std::max(bx - 1, 0); x <= std::min(bx + 1, FWide - 1); ++x) needed[static_cast<size_t>(y) * FWide + x] = 1;
        }
      }
    }
    std::fill(FChanged.begin(), FChanged.end(), 0);
    return needed;
  }

 private:
  int FWide;
  int FHigh;
  std::vector<uint8_t> FChanged;
};

// Kernel response at one pixel of a padded buffer; rows are contiguous so this vectorises.
// One partial sum per column: element-wise, so it vectorises without reordering any float sum.
float Filter(const float* AImage, int APaddedWidth, const float* AKernel) {
  float columns[kRowTaps] = {};
  for (int ky = 0; ky < kSide; ++ky) {
    const float* row = AImage + (ky - kRadius) * APaddedWidth - kRadius;
    const float* taps = AKernel + ky * kRowTaps;
    for (int kx = 0; kx < kRowTaps; ++kx) columns[kx] += row[kx] * taps[kx];
  }
  float sum = 0;
  for (const float column : columns) sum += column;
  return sum;
}

constexpr int kSeedRadius = 4;

bool Grows(const TFloatField& ARegion, int AX, int AY) {
  return AX >= 0 && AY >= 0 && AX < ARegion.Width && AY < ARegion.Height && ARegion.At(AX, AY) > 0;
}

// A small patch of the ridge pattern expected there, so growth starts at once instead of
// spending passes on picking the matching wave out of a single dot.
void PlantSeed(const TRidgeGrowthInput& AInput, int32_t AOffset, int APaddedWidth, double APhase, std::vector<float>& AImage) {
  const int x = AOffset % APaddedWidth - kRadius;
  const int y = AOffset / APaddedWidth - kRadius;
  const double ridge = AInput.Orientation->At(x, y);
  const double frequency = 2.0 * kPi / AInput.Period->At(x, y);
  for (int dy = -kSeedRadius; dy <= kSeedRadius; ++dy) {
    for (int dx = -kSeedRadius; dx <= kSeedRadius; ++dx) {
      // Only pixels that the passes update: a value left anywhere else would feed ridges forever.
      if (dx * dx + dy * dy > kSeedRadius * kSeedRadius || !Grows(*AInput.Region, x + dx, y + dy)) continue;
      const double across = -dx * std::sin(ridge) + dy * std::cos(ridge);
      AImage[static_cast<size_t>(AOffset + dy * APaddedWidth + dx)] = static_cast<float>(std::cos(frequency * across + APhase));
    }
  }
}

}  // namespace

TFloatField GrowRidges(const TRidgeGrowthInput& AInput, TSynthRandom& ARandom) {
  const TFloatField& region = *AInput.Region;
  const int width = region.Width;
  const int height = region.Height;
  // The right margin also covers the zero taps that pad each kernel row.
  const int paddedWidth = width + kRadius + kRowTaps;
  const int paddedHeight = height + 2 * kRadius;
  TChangedBlocks changed(width, height);
  std::vector<TActivePixel> active;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!Grows(region, x, y)) continue;
      const int offset = (y + kRadius) * paddedWidth + x + kRadius;
      active.push_back({offset, TGaborBank::Index(AInput.Orientation->At(x, y), AInput.Period->At(x, y)), changed.Block(x, y)});
    }
  }
  std::vector<float> current(static_cast<size_t>(paddedWidth) * paddedHeight, 0.0f);
  std::vector<float> next = current;
  if (active.empty()) return TFloatField(width, height);
  for (int s = 0; s < AInput.Seeds; ++s) {
    const TActivePixel& seed = active[static_cast<size_t>(ARandom.Unit() * static_cast<double>(active.size()))];
    PlantSeed(AInput, seed.Offset, paddedWidth, ARandom.Uniform(0.0, 2.0 * kPi), current);
  }
  for (const TActivePixel& pixel : active) {
    if (current[static_cast<size_t>(pixel.Offset)] != 0.0f) changed.MarkChanged(pixel.Block);
  }
  const TGaborBank& bank = GaborBank();
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    size_t moved = 0;
    const std::vector<uint8_t> needed = changed.TakeNeeded();
    for (const TActivePixel& pixel : active) {
      const float old = current[static_cast<size_t>(pixel.Offset)];
      float value = old;
      if (needed[static_cast<size_t>(pixel.Block)]) {
        const float response = Filter(&current[static_cast<size_t>(pixel.Offset)], paddedWidth, bank.Kernel(pixel.Kernel));
        value = std::clamp(kGain * response, -1.0f, 1.0f);
        if (std::abs(value - old) > kSettled) changed.MarkChanged(pixel.Block);
        if (std::abs(value - old) > kMoved) ++moved;
      }
      next[static_cast<size_t>(pixel.Offset)] = value;
    }
    current.swap(next);
    if (iteration + 1 >= kMinIterations && static_cast<double>(moved) < kStableShare * static_cast<double>(active.size())) break;
  }
  TFloatField ridges(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ridges.At(x, y) = current[static_cast<size_t>(y + kRadius) * paddedWidth + x + kRadius];
  }
  return ridges;
}
