#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The simulated sensor's view of a finger: a set of minutiae (ridge endings and bifurcations)
// with position, direction and kind. Every finger number has a fixed master set; each press
// yields a noisy copy of it whose noise grows as the image quality drops.

struct TSimulatedMinutia {
  uint8_t X = 0;      // 0..255 across the sensor window
  uint8_t Y = 0;      // 0..255 along the sensor window
  uint8_t Angle = 0;  // ridge direction, a full turn in 256 steps
  uint8_t Kind = 0;   // 0 ridge ending, 1 bifurcation

  bool operator==(const TSimulatedMinutia&) const = default;
};

struct TFeatureSet {
  int32_t Quality = 0;  // 0..100 image quality the features were taken from
  std::vector<TSimulatedMinutia> Minutiae;

  bool operator==(const TFeatureSet&) const = default;
};

// Upper bound of the minutiae a template holds; both text formats rely on it.
inline constexpr std::size_t kMaxMinutiae = 64;

// The noise-free features of finger AFinger (any positive number); the same for every call.
TFeatureSet FingerMasterFeatures(int32_t AFinger);

// One press of AFinger at image quality AQuality (0..100). APressSerial seeds the noise, so two
// presses with different serials differ slightly and a given serial always gives the same image.
TFeatureSet SimulatePress(int32_t AFinger, int32_t AQuality, uint64_t APressSerial);
