#include "PressQuality.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "RidgeSpectrum.h"

namespace {

// About two ridge periods at 500 dpi: small enough to follow the contact's outline.
constexpr int kBlockSize = 16;
constexpr float kMillimetresPerPixel = 25.4f / 500;
// A block shows ridges when its ridge wave carries this share of its window's energy: noise
// leaves a few percent to its strongest wave, clean ridges well over half.
constexpr float kRidgeClarity = 0.25f;
// Below this the wave is lost in an 8-bit image's rounding, whatever its share.
constexpr float kMinAmplitude = 1.5f;
// Ridges flow: a clear block is a ridge block when this many of its eight neighbours show a wave
// of about its spacing and direction. Waves that noise or crossing creases leave in a block
// change from block to block.
constexpr int kMinRidgeNeighbours = 4;
constexpr float kSpacingRatio = 1.3f;
constexpr float kDirectionTolerance = 0.4f;  // radians, about 23 degrees
// A minutia counts when this many blocks of the nine around it show ridges: the extractor's
// minutiae out in the background or along a blotchy edge do not.
constexpr int kMinInsideBlocks = 4;

// What a good press reaches: 40 mm^2 of ridges (a small sensor's 6.5 mm square), the eight or so
// minutiae a minutiae matcher needs to pair, and ridge waves with about half the energy of
// everything else. Each scores 0.5 there and 1 at twice that; the quality is the weakest score.
constexpr float kGoodArea = 40;
constexpr float kGoodMinutiae = 8;
constexpr float kGoodClarity = 0.35f;
constexpr float kGoodScore = 0.5f;
// Under 40 % of a good amount there is too little to match at all.
constexpr float kPoorScore = 0.4f * kGoodScore;

// Which blocks show ridges.
class TRidgeMask {
 public:
  explicit TRidgeMask(const TRidgeBlockGrid& AGrid)
      : FColumns(AGrid.Columns()), FRows(AGrid.Rows()) {
    std::vector<bool> clear(static_cast<std::size_t>(FColumns * FRows));
    for (int row = 0; row < FRows; ++row) {
      for (int column = 0; column < FColumns; ++column) {
        const TRidgeBlock& block = AGrid.At(column, row);
        clear[Index(column, row)] =
            block.Clarity >= kRidgeClarity && block.Amplitude >= kMinAmplitude;
      }
    }
    FRidge.assign(clear.size(), false);
    float claritySum = 0;
    for (int row = 0; row < FRows; ++row) {
      for (int column = 0; column < FColumns; ++column) {
        if (!clear[Index(column, row)] ||
            CountFlowingNeighbours(AGrid, clear, column, row) < kMinRidgeNeighbours)
          continue;
        FRidge[Index(column, row)] = true;
        ++FBlocks;
        claritySum += AGrid.At(column, row).Clarity;
      }
    }
    FClarity = FBlocks > 0 ? claritySum / static_cast<float>(FBlocks) : 0;
  }

  int Blocks() const { return FBlocks; }
  float Clarity() const { return FClarity; }
  // Most of the block's neighbourhood shows ridges: the extractor's minutiae there are the
  // finger's, not the contact's edge nor a gap in the ridges.
  bool Inside(int AColumn, int ARow) const {
    return (IsRidge(AColumn, ARow) ? 1 : 0) + CountNeighbours(FRidge, AColumn, ARow) >=
           kMinInsideBlocks;
  }

 private:
  std::size_t Index(int AColumn, int ARow) const {
    return static_cast<std::size_t>(ARow * FColumns + AColumn);
  }
  bool IsRidge(int AColumn, int ARow) const {
    return AColumn >= 0 && ARow >= 0 && AColumn < FColumns && ARow < FRows &&
           FRidge[Index(AColumn, ARow)];
  }
  int CountFlowingNeighbours(const TRidgeBlockGrid& AGrid, const std::vector<bool>& AClear,
                             int AColumn, int ARow) const {
    const TRidgeBlock& block = AGrid.At(AColumn, ARow);
    int count = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const int column = AColumn + dx, row = ARow + dy;
        if ((dx == 0 && dy == 0) || column < 0 || row < 0 || column >= FColumns || row >= FRows ||
            !AClear[Index(column, row)])
          continue;
        const TRidgeBlock& neighbour = AGrid.At(column, row);
        const float spacing =
            std::max(block.Period, neighbour.Period) / std::min(block.Period, neighbour.Period);
        const float turn = std::abs(block.Normal - neighbour.Normal);
        const float direction = std::min(turn, std::numbers::pi_v<float> - turn);
        if (spacing <= kSpacingRatio && direction <= kDirectionTolerance) ++count;
      }
    }
    return count;
  }
  int CountNeighbours(const std::vector<bool>& AMask, int AColumn, int ARow) const {
    int count = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const int column = AColumn + dx, row = ARow + dy;
        if ((dx != 0 || dy != 0) && column >= 0 && row >= 0 && column < FColumns && row < FRows &&
            AMask[Index(column, row)]) {
          ++count;
        }
      }
    }
    return count;
  }

  int FColumns;
  int FRows;
  int FBlocks = 0;
  float FClarity = 0;
  std::vector<bool> FRidge;
};

float Score(float AValue, float AGood) {
  return std::clamp(kGoodScore * AValue / AGood, 0.0f, 1.0f);
}

}  // namespace

TPressQuality MeasurePressQuality(const TGreyImage& AImage, std::span<const TMinutia> AMinutiae) {
  const TRidgeBlockGrid grid(AImage, kBlockSize);
  const TRidgeMask mask(grid);
  TPressQuality quality;
  for (const TMinutia& minutia : AMinutiae) {
    const bool inFrame = minutia.X >= 0 && minutia.Y >= 0 &&
                         minutia.X < static_cast<float>(AImage.Width) &&
                         minutia.Y < static_cast<float>(AImage.Height);
    if (inFrame && mask.Inside(static_cast<int>(minutia.X) / kBlockSize,
                               static_cast<int>(minutia.Y) / kBlockSize))
      ++quality.Minutiae;
  }
  const float blockSide = kBlockSize * kMillimetresPerPixel;
  quality.RidgeArea = static_cast<float>(mask.Blocks()) * blockSide * blockSide;
  quality.Clarity = mask.Clarity();
  // The weakest of the three decides: plenty of area does not make up for missing minutiae.
  const float weakest = std::min({Score(quality.RidgeArea, kGoodArea),
                                  Score(static_cast<float>(quality.Minutiae), kGoodMinutiae),
                                  Score(quality.Clarity, kGoodClarity)});
  quality.Quality = static_cast<int32_t>(std::lround(100 * weakest));
  quality.FeatureInfo = weakest >= kGoodScore ? 0 : weakest >= kPoorScore ? -1 : 1;
  return quality;
}
