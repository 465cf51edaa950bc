#include "PressQuality.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "BlockStatistics.h"

namespace {

// About two ridge periods at 500 dpi: enough for a clear orientation, small enough to follow
// the contact's outline.
constexpr int kBlockSize = 16;
// Grey-level deviation of a block that shows ridges: at least this, and at least a share of what
// the most contrasted blocks of this image reach.
constexpr float kMinDeviation = 10;
constexpr float kShareOfContrast = 0.3f;
// Gradients of noise agree to about 0.1 in a 16-pixel block; ridges to 0.5 and more.
constexpr float kMinCoherence = 0.3f;
// A ridge block needs this many ridge blocks among its eight neighbours, so that chance blocks
// in noise do not count.
constexpr int kMinRidgeNeighbours = 3;

// What a good press reaches: ridges over about half the frame, clear flow, a dozen minutiae
// well inside the contact.
constexpr float kGoodAreaShare = 0.45f;
constexpr float kFlowFloor = 0.2f;
constexpr float kGoodFlow = 0.6f;
constexpr float kGoodMinutiae = 12;
// Ridge contrast, as the median grey-level deviation of the contact's blocks: a smudge or a
// wet finger blurs ridges into valleys.
constexpr float kContrastFloor = 8;
constexpr float kGoodContrast = 30;

constexpr int32_t kGoodQuality = 50;
constexpr int32_t kSuspiciousQuality = 20;

float Clamp01(float AValue) { return std::clamp(AValue, 0.0f, 1.0f); }

// Which blocks show ridges.
class TRidgeMask {
 public:
  explicit TRidgeMask(const TBlockGrid& AGrid) : FColumns(AGrid.Columns()), FRows(AGrid.Rows()) {
    std::vector<float> deviations;
    for (int row = 0; row < FRows; ++row) {
      for (int column = 0; column < FColumns; ++column) deviations.push_back(AGrid.At(column, row).Deviation);
    }
    if (deviations.empty()) return;
    const auto high = deviations.begin() + static_cast<std::ptrdiff_t>(deviations.size() * 9 / 10);
    std::nth_element(deviations.begin(), high, deviations.end());
    const float threshold = std::max(kMinDeviation, kShareOfContrast * *high);
    std::vector<bool> contrasted(deviations.size());
    float coherenceSum = 0;
    std::vector<float> contactDeviations;
    for (int row = 0; row < FRows; ++row) {
      for (int column = 0; column < FColumns; ++column) {
        const TBlockStatistics& block = AGrid.At(column, row);
        if (block.Deviation < threshold) continue;
        ++FContrasted;
        coherenceSum += block.Coherence;
        contactDeviations.push_back(block.Deviation);
        contrasted[Index(column, row)] = block.Coherence >= kMinCoherence;
      }
    }
    FMeanCoherence = FContrasted > 0 ? coherenceSum / static_cast<float>(FContrasted) : 0;
    if (!contactDeviations.empty()) {
      const auto middle = contactDeviations.begin() + static_cast<std::ptrdiff_t>(contactDeviations.size() / 2);
      std::nth_element(contactDeviations.begin(), middle, contactDeviations.end());
      FContrast = *middle;
    }
    FRidge.assign(contrasted.size(), false);
    for (int row = 0; row < FRows; ++row) {
      for (int column = 0; column < FColumns; ++column) {
        FRidge[Index(column, row)] = contrasted[Index(column, row)] &&
                                     CountNeighbours(contrasted, column, row) >= kMinRidgeNeighbours;
      }
    }
  }

  float AreaShare() const {
    if (FRidge.empty()) return 0;
    return static_cast<float>(std::count(FRidge.begin(), FRidge.end(), true)) / static_cast<float>(FRidge.size());
  }
  // Mean coherence of the blocks that vary enough to be contact, ridges or not.
  float MeanCoherence() const { return FMeanCoherence; }
  // Median grey-level deviation of the contact's blocks.
  float Contrast() const { return FContrast; }
  // A ridge block all of whose neighbours are ridge blocks too.
  bool Inside(int AColumn, int ARow) const {
    return IsRidge(AColumn, ARow) && CountNeighbours(FRidge, AColumn, ARow) == 8;
  }

 private:
  std::size_t Index(int AColumn, int ARow) const { return static_cast<std::size_t>(ARow * FColumns + AColumn); }
  bool IsRidge(int AColumn, int ARow) const {
    return AColumn >= 0 && ARow >= 0 && AColumn < FColumns && ARow < FRows && FRidge[Index(AColumn, ARow)];
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
  int FContrasted = 0;
  float FMeanCoherence = 0;
  float FContrast = 0;
  std::vector<bool> FRidge;
};

}  // namespace

TPressQuality MeasurePressQuality(const TGreyImage& AImage, std::span<const TMinutia> AMinutiae) {
  const TBlockGrid grid(AImage, kBlockSize);
  const TRidgeMask mask(grid);
  int usable = 0;
  for (const TMinutia& minutia : AMinutiae) {
    const bool inFrame = minutia.X >= 0 && minutia.Y >= 0 && minutia.X < static_cast<float>(AImage.Width) &&
                         minutia.Y < static_cast<float>(AImage.Height);
    if (inFrame && mask.Inside(static_cast<int>(minutia.X) / kBlockSize, static_cast<int>(minutia.Y) / kBlockSize)) ++usable;
  }
  const float area = Clamp01(mask.AreaShare() / kGoodAreaShare);
  const float flow = Clamp01((mask.MeanCoherence() - kFlowFloor) / (kGoodFlow - kFlowFloor));
  const float minutiae = Clamp01(static_cast<float>(usable) / kGoodMinutiae);
  const float contrast = Clamp01((mask.Contrast() - kContrastFloor) / (kGoodContrast - kContrastFloor));
  TPressQuality quality;
  quality.Quality = static_cast<int32_t>(std::lround(100 * area * flow * contrast * minutiae));
  quality.FeatureInfo = quality.Quality >= kGoodQuality ? 0 : quality.Quality >= kSuspiciousQuality ? -1 : 1;
  return quality;
}
