#pragma once

#include <vector>

#include "GreyImage.h"

// Per square block of an image: how clearly it shows one ridge wave, from the spectrum of a
// window twice the block's side centred on it. Ridges are a near-periodic wave of one direction
// and one spacing; everything else in the window (noise, smudges, creases, the contact's edge)
// spreads its energy over other frequencies. So the wave's share of the window's energy is a
// signal-to-noise ratio that needs no absolute grey level: faint ridges on a quiet sensor score
// as well as strong ones.
struct TRidgeBlock {
  float Clarity = 0;    // share of the window's varying energy in its strongest ridge wave, 0..1
  float Amplitude = 0;  // root mean square grey level of that wave
  float Period = 0;     // its ridge spacing in pixels
  float Normal = 0;     // direction across its ridges, radians in [0, pi)
};

class TRidgeBlockGrid {
 public:
  // Ridge spacings searched: 5 to 25 pixels covers 500 dpi sensors and the readers whose images
  // libfprint enlarges twice.
  static constexpr float kMinPeriod = 5;
  static constexpr float kMaxPeriod = 25;

  // Whole blocks of ABlockSize pixels only; a partial row or column of blocks at the right or
  // bottom edge is left out.
  TRidgeBlockGrid(const TGreyImage& AImage, int ABlockSize);

  int Columns() const { return FColumns; }
  int Rows() const { return FRows; }
  int BlockSize() const { return FBlockSize; }
  const TRidgeBlock& At(int AColumn, int ARow) const {
    return FBlocks[static_cast<std::size_t>(ARow * FColumns + AColumn)];
  }

 private:
  int FBlockSize;
  int FColumns = 0;
  int FRows = 0;
  std::vector<TRidgeBlock> FBlocks;
};
