#pragma once

// Made-up press images for quality tests: a finger-like pattern of curved sinusoidal ridges
// (period 9 px, as at 500 dpi) on a light background, and the images a sensor gives when there
// is no finger.

#include <cstdint>
#include <random>

#include "GreyImage.h"

struct TRidgeImageOptions {
  int Width = 300;
  int Height = 400;
  float ContactShare = 0.7f;  // share of the frame the elliptical contact covers
  float Contrast = 1;         // 1: the full grey range; less flattens ridges towards mid grey
  int BlurRadius = 0;         // box blur, pixels: a smudge
  float NoiseDeviation = 0;   // the sensor's own noise, grey levels, added after any blur
};

TGreyImage MakeRidgeImage(const TRidgeImageOptions& AOptions);
TGreyImage MakeNoiseImage(int AWidth, int AHeight, std::mt19937& ARandom);
TGreyImage MakeBlankImage(int AWidth, int AHeight, uint8_t AGrey);
