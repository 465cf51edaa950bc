#include "SynthField.h"

#include <cmath>
#include <numbers>

float TFloatField::Sample(double AX, double AY) const {
  const double x = std::clamp(AX, 0.0, static_cast<double>(Width - 1));
  const double y = std::clamp(AY, 0.0, static_cast<double>(Height - 1));
  const int x0 = std::min(static_cast<int>(x), Width - 2);
  const int y0 = std::min(static_cast<int>(y), Height - 2);
  const float fx = static_cast<float>(x - x0);
  const float fy = static_cast<float>(y - y0);
  const float top = At(x0, y0) + fx * (At(x0 + 1, y0) - At(x0, y0));
  const float bottom = At(x0, y0 + 1) + fx * (At(x0 + 1, y0 + 1) - At(x0, y0 + 1));
  return top + fy * (bottom - top);
}

namespace {

constexpr int kWaves = 12;

struct TWave {
  double Kx = 0;
  double Ky = 0;
  double Phase = 0;
};

}  // namespace

TFloatField SmoothNoiseField(TSynthRandom& ARandom, int AWidth, int AHeight, double AWavelength) {
  TWave waves[kWaves];
  for (TWave& wave : waves) {
    const double direction = ARandom.Uniform(0.0, std::numbers::pi);
    // A spread of wavelengths around the nominal one avoids a visible single period.
    const double k = 2.0 * std::numbers::pi / (AWavelength * ARandom.Uniform(0.7, 1.4));
    wave = {k * std::cos(direction), k * std::sin(direction), ARandom.Uniform(0.0, 2.0 * std::numbers::pi)};
  }
  // A grid step well under the wavelength keeps the interpolation error invisible.
  const int step = std::clamp(static_cast<int>(AWavelength / 8.0), 1, 16);
  const int gridWidth = AWidth / step + 2;
  const int gridHeight = AHeight / step + 2;
  TFloatField grid(gridWidth, gridHeight);
  const double amplitude = std::sqrt(2.0 / kWaves);
  for (int gy = 0; gy < gridHeight; ++gy) {
    for (int gx = 0; gx < gridWidth; ++gx) {
      double sum = 0;
      for (const TWave& wave : waves) sum += std::cos(wave.Kx * gx * step + wave.Ky * gy * step + wave.Phase);
      grid.At(gx, gy) = static_cast<float>(amplitude * sum);
    }
  }
  TFloatField field(AWidth, AHeight);
  const double inverseStep = 1.0 / step;
  for (int y = 0; y < AHeight; ++y) {
    for (int x = 0; x < AWidth; ++x) field.At(x, y) = grid.Sample(x * inverseStep, y * inverseStep);
  }
  return field;
}

TFloatField BlotchNoiseField(TSynthRandom& ARandom, int AWidth, int AHeight, int ACell) {
  const int gridWidth = AWidth / ACell + 2;
  const int gridHeight = AHeight / ACell + 2;
  TFloatField grid(gridWidth, gridHeight);
  for (float& value : grid.Values) value = static_cast<float>(ARandom.Normal());
  // Smoothstep weights between grid nodes hide the grid's straight lines better than bilinear.
  TFloatField field(AWidth, AHeight);
  const double scale = 1.0 / ACell;
  // Interpolating four unit-variance values lowers the variance; this restores about one.
  constexpr float kRestore = 1.6f;
  for (int y = 0; y < AHeight; ++y) {
    const int gy = y / ACell;
    const double ty = SmoothStep(0.0, 1.0, y * scale - gy);
    for (int x = 0; x < AWidth; ++x) {
      const int gx = x / ACell;
      const double tx = SmoothStep(0.0, 1.0, x * scale - gx);
      const double top = grid.At(gx, gy) + tx * (grid.At(gx + 1, gy) - grid.At(gx, gy));
      const double bottom = grid.At(gx, gy + 1) + tx * (grid.At(gx + 1, gy + 1) - grid.At(gx, gy + 1));
      field.At(x, y) = kRestore * static_cast<float>(top + ty * (bottom - top));
    }
  }
  return field;
}
