#include "RidgeSpectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using TComplex = std::complex<float>;

// The discrete Fourier transform of a square window, at the low frequencies where ridges lie
// only: -AHighest..AHighest cycles per window along each axis, computed row by row and then
// column by column.
class TWindowSpectrum {
 public:
  TWindowSpectrum(int ASize, int AHighest) : FSize(ASize), FHighest(AHighest) {
    const float step = 2 * std::numbers::pi_v<float> / static_cast<float>(ASize);
    for (int i = 0; i < ASize; ++i) {
      // Hann taper: the window's edges would otherwise spread energy over every frequency.
      const float hann = 0.5f - 0.5f * std::cos(step * (static_cast<float>(i) + 0.5f));
      FTaper.push_back(hann);
    }
    for (int k = -AHighest; k <= AHighest; ++k) {
      for (int i = 0; i < ASize; ++i) FTwiddles.push_back(std::polar(1.0f, -step * k * i));
    }
  }

  int Size() const { return FSize; }
  int Highest() const { return FHighest; }
  int Side() const { return 2 * FHighest + 1; }
  float Taper(int AIndex) const { return FTaper[static_cast<std::size_t>(AIndex)]; }

  // Power at (u, v) for u, v in -Highest..Highest, row-major by v, of the window's values.
  std::vector<float> Power(const std::vector<float>& AValues) const {
    const auto side = static_cast<std::size_t>(Side());
    const auto size = static_cast<std::size_t>(FSize);
    std::vector<TComplex> rows(size * side);
    for (std::size_t y = 0; y < size; ++y) {
      for (std::size_t u = 0; u < side; ++u) {
        TComplex sum = 0;
        for (std::size_t x = 0; x < size; ++x)
          sum += AValues[y * size + x] * FTwiddles[u * size + x];
        rows[y * side + u] = sum;
      }
    }
    std::vector<float> power(side * side);
    for (std::size_t v = 0; v < side; ++v) {
      for (std::size_t u = 0; u < side; ++u) {
        TComplex sum = 0;
        for (std::size_t y = 0; y < size; ++y) sum += rows[y * side + u] * FTwiddles[v * size + y];
        power[v * side + u] = std::norm(sum);
      }
    }
    return power;
  }

 private:
  int FSize;
  int FHighest;
  std::vector<float> FTaper;
  std::vector<TComplex> FTwiddles;  // row k + Highest: e^(-2 pi i k x / Size)
};

TRidgeBlock MeasureWindow(const TGreyImage& AImage, const TWindowSpectrum& ASpectrum, int ALeft,
                          int ATop) {
  const int size = ASpectrum.Size();
  // Pixels outside the image weigh nothing: the taper is zero there.
  std::vector<float> weights(static_cast<std::size_t>(size * size), 0);
  std::vector<float> values(weights.size(), 0);
  double weightSum = 0, weightedSum = 0, squaredWeights = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int px = ALeft + x, py = ATop + y;
      if (px < 0 || py < 0 || px >= AImage.Width || py >= AImage.Height) continue;
      const auto index = static_cast<std::size_t>(y * size + x);
      const float weight = ASpectrum.Taper(x) * ASpectrum.Taper(y);
      weights[index] = weight;
      values[index] = AImage.Pixels[static_cast<std::size_t>(py * AImage.Width + px)];
      weightSum += weight;
      weightedSum += weight * values[index];
      squaredWeights += weight * weight;
    }
  }
  if (weightSum <= 0) return {};
  const auto mean = static_cast<float>(weightedSum / weightSum);
  double energy = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = weights[i] * (values[i] - mean);
    energy += values[i] * values[i];
  }
  if (energy <= 0) return {};
  // Parseval: the whole spectrum's power is the window's energy times its pixel count.
  const double totalPower = energy * size * size;

  const std::vector<float> power = ASpectrum.Power(values);
  const int highest = ASpectrum.Highest(), side = ASpectrum.Side();
  const auto at = [&](int AU, int AV) {
    return power[static_cast<std::size_t>((AV + highest) * side + AU + highest)];
  };
  const float lowest = static_cast<float>(size) / TRidgeBlockGrid::kMaxPeriod;
  const float highestBand = static_cast<float>(size) / TRidgeBlockGrid::kMinPeriod;
  int peakU = 0, peakV = 0;
  float peak = -1;
  for (int v = -highest; v <= highest; ++v) {
    for (int u = -highest; u <= highest; ++u) {
      const float radius = std::hypot(static_cast<float>(u), static_cast<float>(v));
      if (radius < lowest || radius > highestBand || at(u, v) <= peak) continue;
      peak = at(u, v);
      peakU = u;
      peakV = v;
    }
  }
  if (peak <= 0) return {};
  // The wave is the peak and its mirror image with their next neighbours: the taper widens a
  // pure wave's peak to about three bins, and real ridges bend a little within the window.
  double wave = 0;
  for (int v = -highest; v <= highest; ++v) {
    for (int u = -highest; u <= highest; ++u) {
      const bool nearPeak = std::abs(u - peakU) <= 1 && std::abs(v - peakV) <= 1;
      const bool nearMirror = std::abs(u + peakU) <= 1 && std::abs(v + peakV) <= 1;
      if (nearPeak || nearMirror) wave += at(u, v);
    }
  }
  TRidgeBlock block;
  block.Normal = std::atan2(static_cast<float>(peakV), static_cast<float>(peakU));
  if (block.Normal < 0) block.Normal += std::numbers::pi_v<float>;
  block.Clarity = static_cast<float>(std::min(1.0, wave / totalPower));
  block.Amplitude = static_cast<float>(std::sqrt(wave / (squaredWeights * size * size)));
  block.Period =
      static_cast<float>(size) / std::hypot(static_cast<float>(peakU), static_cast<float>(peakV));
  return block;
}

}  // namespace

TRidgeBlockGrid::TRidgeBlockGrid(const TGreyImage& AImage, int ABlockSize)
    : FBlockSize(ABlockSize) {
  const bool valid = ABlockSize > 0 && AImage.Width > 0 && AImage.Height > 0 &&
                     AImage.Pixels.size() == static_cast<std::size_t>(AImage.Width) * AImage.Height;
  if (!valid) return;
  FColumns = AImage.Width / ABlockSize;
  FRows = AImage.Height / ABlockSize;
  const int window = 2 * ABlockSize;
  const TWindowSpectrum spectrum(
      window, static_cast<int>(std::ceil(static_cast<float>(window) / kMinPeriod)) + 1);
  FBlocks.reserve(static_cast<std::size_t>(FColumns * FRows));
  for (int row = 0; row < FRows; ++row) {
    for (int column = 0; column < FColumns; ++column) {
      FBlocks.push_back(MeasureWindow(AImage, spectrum, column * ABlockSize - ABlockSize / 2,
                                      row * ABlockSize - ABlockSize / 2));
    }
  }
}
