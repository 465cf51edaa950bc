#pragma once

#include <cstdint>

#include "FingerPatternClass.h"
#include "FingerShape.h"
#include "GreyImage.h"
#include "ImpressionGeometry.h"
#include "SynthField.h"

// Synthetic fingerprints at 500 dpi, ridges dark on a light ground, every image fully determined
// by its seeds (the same bytes from GCC and Clang builds).

inline constexpr int kSyntheticWidth = 400;
inline constexpr int kSyntheticHeight = 500;

// How one press differs from the master. The defaults give typical presses; 0 in a strength
// field turns that effect off.
struct TImpressionOptions {
  double MaxRotationDegrees = 30;  // most presses fall within two thirds of it
  double MaxShiftPixels = 40;
  double MaxScaleChange = 0.03;    // relative
  double Distortion = 1;           // elastic skin distortion strength
  double Pressure = 1;             // spread of dry (thin, broken) to wet (thick, merged) ridges
  double Noise = 1;                // sensor noise strength
  double MinContact = 0.5;         // share of the finger's area that touches the sensor
  double MaxContact = 1.0;
};

// One finger: its outline, pattern class and ideal ridge pattern. Building one costs most of the
// time; keep it to take many impressions.
class TSyntheticMaster {
 public:
  explicit TSyntheticMaster(uint32_t AFingerSeed);

  TFingerPattern Pattern() const { return FPattern; }
  const TFingerShape& Shape() const { return FShape; }
  // Ridge strength in [-1, 1], ridges positive; valid a little beyond the outline.
  const TFloatField& Ridges() const { return FRidges; }

  // The ideal full print: black ridges on white.
  TGreyImage Image() const;
  // Where the pixels of impression AImpressionSeed come from on the master.
  TImpressionGeometry Geometry(uint32_t AImpressionSeed, const TImpressionOptions& AOptions = {}) const;
  TGreyImage Impression(uint32_t AImpressionSeed, const TImpressionOptions& AOptions = {}) const;

 private:
  uint32_t FSeed;
  TFingerShape FShape;
  TFingerPattern FPattern;
  TFloatField FRidges;
};

TGreyImage SyntheticMasterFinger(uint32_t AFingerSeed);
TGreyImage SyntheticImpression(uint32_t AFingerSeed, uint32_t AImpressionSeed, const TImpressionOptions& AOptions = {});
// Blotchy noise with no ridge structure: a smudge or a poor press.
TGreyImage SyntheticNoiseImage(uint32_t ASeed, int AWidth, int AHeight);
