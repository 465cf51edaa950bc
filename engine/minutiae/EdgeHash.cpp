#include "EdgeHash.h"

#include <algorithm>
#include <array>
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
// The cells an edge reaches at most (three lengths, two angles each with bins wider than the
// tolerance's span): room reserved, not a limit.
constexpr std::size_t kCellsPerEdge = 3 * 2 * 2;
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

// The angle bins within the tolerance of an angle, in turn from the lowest, wrapping around.
struct TAngleBins {
  std::array<int, kAngleBins> Bins;
  int Count = 0;
};

TAngleBins AngleBinsReached(float AAngle) {
  TAngleBins reached;
  const int high = AngleBin(AAngle + kAngleTolerance);
  for (int bin = AngleBin(AAngle - kAngleTolerance);; bin = (bin + 1) % kAngleBins) {
    reached.Bins[static_cast<std::size_t>(reached.Count++)] = bin;
    if (bin == high) break;
  }
  return reached;
}

// Calls AVisit for every cell that an edge's tolerance reaches.
template <typename TVisit>
void ForEachReachedCell(const TEdgeShape& AEdge, TVisit AVisit) {
  // Covers every length that EdgesMatch accepts, whichever of the two edges is the longer.
  const float reach = std::max(kMinLengthTolerance, AEdge.Length * kRelativeLengthTolerance /
                                                        (1 - kRelativeLengthTolerance));
  const int firstLength = LengthBin(AEdge.Length - reach);
  const int lastLength = LengthBin(AEdge.Length + reach);
  const TAngleBins from = AngleBinsReached(AEdge.FromAngle);
  const TAngleBins to = AngleBinsReached(AEdge.ToAngle);
  for (int length = firstLength; length <= lastLength; ++length) {
    for (int f = 0; f < from.Count; ++f) {
      const int lengthAndFrom = CellIndex(length, from.Bins[static_cast<std::size_t>(f)], 0);
      for (int t = 0; t < to.Count; ++t)
        AVisit(lengthAndFrom + to.Bins[static_cast<std::size_t>(t)]);
    }
  }
}

}  // namespace

TEdgeHash::TEdgeHash(std::span<const TEdgeShape> AEdges) : FCellStart(kCells + 1, 0) {
  // Each edge's cells are found once, counted and kept for filing: finding them costs more than
  // filing them.
  struct TFiling {
    uint16_t Cell;
    uint16_t Edge;
  };
  std::vector<TFiling> filings;
  filings.reserve(AEdges.size() * kCellsPerEdge);
  for (std::size_t i = 0; i < AEdges.size(); ++i) {
    ForEachReachedCell(AEdges[i], [&](int ACell) {
      filings.push_back({static_cast<uint16_t>(ACell), static_cast<uint16_t>(i)});
      ++FCellStart[ACell + 1];
    });
  }
  for (int cell = 0; cell < kCells; ++cell) FCellStart[cell + 1] += FCellStart[cell];
  // Filing in edge order keeps each cell's candidates in ascending order. Each cell's start moves
  // on to the next cell's as it fills, and then back by one cell.
  FEntries.resize(filings.size());
  for (const TFiling& filing : filings) FEntries[FCellStart[filing.Cell]++] = filing.Edge;
  std::copy_backward(FCellStart.begin(), FCellStart.end() - 1, FCellStart.end());
  FCellStart[0] = 0;
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
