#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

// Xoshiro256** seeded through SplitMix64. Every draw is computed here, not by std:: distributions,
// whose output differs between standard libraries: GCC and Clang builds give the same images.
class TSynthRandom {
 public:
  explicit TSynthRandom(uint64_t ASeed) {
    for (uint64_t& word : FState) word = SplitMix(ASeed);
  }

  uint64_t Next() {
    const uint64_t result = Rotl(FState[1] * 5, 7) * 9;
    const uint64_t t = FState[1] << 17;
    FState[2] ^= FState[0];
    FState[3] ^= FState[1];
    FState[1] ^= FState[2];
    FState[0] ^= FState[3];
    FState[2] ^= t;
    FState[3] = Rotl(FState[3], 45);
    return result;
  }

  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  double Uniform(double ALow, double AHigh) { return ALow + (AHigh - ALow) * Unit(); }

  // Standard normal (Box-Muller; the pair's second value serves the next call).
  double Normal() {
    if (FHasSpare) {
      FHasSpare = false;
      return FSpare;
    }
    const double radius = std::sqrt(-2.0 * std::log(1.0 - Unit()));
    const double angle = 2.0 * std::numbers::pi * Unit();
    FSpare = radius * std::sin(angle);
    FHasSpare = true;
    return radius * std::cos(angle);
  }

 private:
  static uint64_t Rotl(uint64_t AValue, int AShift) {
    return (AValue << AShift) | (AValue >> (64 - AShift));
  }

  static uint64_t SplitMix(uint64_t& AState) {
    uint64_t z = (AState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  uint64_t FState[4];
  double FSpare = 0;
  bool FHasSpare = false;
};

// Distinct streams for the independent parts of one finger, so that changing how many numbers
// one part draws leaves the others unchanged.
inline uint64_t SynthStreamSeed(uint64_t ASeed, uint64_t AStream) {
  return (ASeed * 0x9E3779B97F4A7C15ull) ^ (AStream * 0xD1B54A32D192ED03ull) ^ 0x5851F42D4C957F2Dull;
}
