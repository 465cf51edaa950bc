#pragma once

#include <vector>

#include "GreyImage.h"

// Per square block of an image: how much the grey level varies (ridges against valleys) and how
// well the local gradients agree on one orientation (ridge flow), from the gradient structure
// tensor: 1 for parallel ridges, near 0 for noise or a flat area.
struct TBlockStatistics {
  float Deviation = 0;  // standard deviation of the grey level
  float Coherence = 0;  // 0..1
};

class TBlockGrid {
 public:
  // Whole blocks of ABlockSize pixels only; a partial row or column of blocks at the right or
  // bottom edge is left out.
  TBlockGrid(const TGreyImage& AImage, int ABlockSize);

  int Columns() const { return FColumns; }
  int Rows() const { return FRows; }
  int BlockSize() const { return FBlockSize; }
  const TBlockStatistics& At(int AColumn, int ARow) const {
    return FBlocks[static_cast<std::size_t>(ARow * FColumns + AColumn)];
  }

 private:
  int FBlockSize;
  int FColumns = 0;
  int FRows = 0;
  std::vector<TBlockStatistics> FBlocks;
};
