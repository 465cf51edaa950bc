#include "EdgeHash.h"

#include <algorithm>
#include <cmath>

#include "MatchTolerances.h"

namespace {

// Lengths below kLinearLengths fall in bins of twice the absolute tolerance; longer ones in bins
// that grow by twice the relative tolerance, so an edge always reaches at most three bins.
constexpr float kLinearLengths = 80;
constexpr int kLinearBins = 5;
constexpr int kLengthBins = 16;
constexpr float kLongBinGrowth = 1.2f;
// Bins at least as wide as the angle tolerance, so that an edge reaches at most three per angle;
// not narrower than 30 degrees, so that the table stays small (every prepared template has one)
// and identification's first look finds a true pair in the same cell often enough.
constexpr int kAngleBins = std::min(12, static_cast<int>(kTwoPi / kAngleTolerance));
constexpr float kAngleBinWidth = kTwoPi / kAngleBins;
constexpr int kCells = kLengthBins * kAngleBins * kAngleBins;
static_assert(kCells <= 65536, "cells are numbered in 16 bits");

int LengthBin(float ALength) {
  if (ALength < kLinearLengths) {
    return std::max(0, static_cast<int>(ALength / (kLinearLengths / kLinearBins)));
  }
  const int bin =
      kLinearBins + static_cast<int>(std::log(ALength / kLinearLengths) / std::log(kLongBinGrowth));
  return std::min(bin, kLengthBins - 1);
}

int AngleBin(float AAngle) {
  return std::min(static_cast<int>(NormalizeAngle(AAngle) / kAngleBinWidth), kAngleBins - 1);
}

int CellIndex(int ALengthBin, int AFromBin, int AToBin) {
  return (ALengthBin * kAngleBins + AFromBin) * kAngleBins + AToBin;
}

// Calls AVisit for every cell that an edge's tolerance reaches.
template <typename TVisit>
void ForEachReachedCell(const TEdgeShape& AEdge, TVisit AVisit) {
  // Covers every length that EdgesMatch accepts, whichever of the two edges is the longer.
  const float reach = std::max(kMinLengthTolerance, AEdge.Length * kRelativeLengthTolerance /
                                                        (1 - kRelativeLengthTolerance));
  const int firstLength = LengthBin(AEdge.Length - reach);
  const int lastLength = LengthBin(AEdge.Length + reach);
  const int fromLow = AngleBin(AEdge.FromAngle - kAngleTolerance);
  const int fromHigh = AngleBin(AEdge.FromAngle + kAngleTolerance);
  const int toLow = AngleBin(AEdge.ToAngle - kAngleTolerance);
  const int toHigh = AngleBin(AEdge.ToAngle + kAngleTolerance);
  for (int length = firstLength; length <= lastLength; ++length) {
    for (int from = fromLow;; from = (from + 1) % kAngleBins) {
      for (int to = toLow;; to = (to + 1) % kAngleBins) {
        AVisit(CellIndex(length, from, to));
        if (to == toHigh) break;
      }
      if (from == fromHigh) break;
    }
  }
}

}  // namespace

TEdgeHash::TEdgeHash(std::span<const TEdgeShape> AEdges) : FCellStart(kCells + 1, 0) {
  for (const TEdgeShape& edge : AEdges) {
    ForEachReachedCell(edge, [this](int ACell) { ++FCellStart[ACell + 1]; });
  }
  for (int cell = 0; cell < kCells; ++cell) FCellStart[cell + 1] += FCellStart[cell];
  FEntries.resize(FCellStart[kCells]);
  std::vector<uint32_t> next(FCellStart.begin(), FCellStart.end() - 1);
  for (std::size_t i = 0; i < AEdges.size(); ++i) {
    ForEachReachedCell(AEdges[i],
                       [&](int ACell) { FEntries[next[ACell]++] = static_cast<uint16_t>(i); });
  }
}

uint16_t TEdgeHash::CellOf(const TEdgeShape& AEdge) {
  return static_cast<uint16_t>(
      CellIndex(LengthBin(AEdge.Length), AngleBin(AEdge.FromAngle), AngleBin(AEdge.ToAngle)));
}

int TEdgeHash::CellCount() {
  return kCells;
}

std::span<const uint16_t> TEdgeHash::Candidates(uint16_t ACell) const {
  if (FCellStart.empty()) return {};
  return std::span(FEntries).subspan(FCellStart[ACell], FCellStart[ACell + 1] - FCellStart[ACell]);
}
