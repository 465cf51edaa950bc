#pragma once

#include <algorithm>
#include <vector>

#include "SynthRandom.h"

// A float image in pixel coordinates; the generator's working type between the stages.
struct TFloatField {
  TFloatField() = default;
  TFloatField(int AWidth, int AHeight, float AValue = 0.0f)
      : Width(AWidth), Height(AHeight), Values(static_cast<size_t>(AWidth) * AHeight, AValue) {}

  float& At(int AX, int AY) { return Values[static_cast<size_t>(AY) * Width + AX]; }
  float At(int AX, int AY) const { return Values[static_cast<size_t>(AY) * Width + AX]; }

  // Bilinear; outside the field the nearest edge value.
  float Sample(double AX, double AY) const;

  int Width = 0;
  int Height = 0;
  std::vector<float> Values;
};

// Smooth random field of about unit standard deviation and zero mean whose features are about
// AWavelength pixels across: a sum of random plane waves, evaluated on a coarse grid and
// interpolated, which is cheap and has no grid-aligned artefacts at that scale.
TFloatField SmoothNoiseField(TSynthRandom& ARandom, int AWidth, int AHeight, double AWavelength);

// Blotchy random field of about unit standard deviation with features about ACell pixels
// across, with no periodicity: random values on a grid, smoothly interpolated. For skin and
// sensor textures, where a sum of waves would look like an interference pattern.
TFloatField BlotchNoiseField(TSynthRandom& ARandom, int AWidth, int AHeight, int ACell);

inline double SmoothStep(double AEdge0, double AEdge1, double AValue) {
  const double t = std::clamp((AValue - AEdge0) / (AEdge1 - AEdge0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}
