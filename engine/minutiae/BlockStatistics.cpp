#include "BlockStatistics.h"

#include <algorithm>
#include <cmath>

namespace {

TBlockStatistics MeasureBlock(const TGreyImage& AImage, int ALeft, int ATop, int ASize) {
  double sum = 0, squares = 0, gxx = 0, gyy = 0, gxy = 0;
  const auto at = [&](int AX, int AY) {
    return static_cast<double>(AImage.Pixels[static_cast<std::size_t>(AY * AImage.Width + AX)]);
  };
  for (int y = ATop; y < ATop + ASize; ++y) {
    for (int x = ALeft; x < ALeft + ASize; ++x) {
      const double value = at(x, y);
      sum += value;
      squares += value * value;
      // Central differences, one-sided at the image edge.
      const double gx = at(std::min(x + 1, AImage.Width - 1), y) - at(std::max(x - 1, 0), y);
      const double gy = at(x, std::min(y + 1, AImage.Height - 1)) - at(x, std::max(y - 1, 0));
      gxx += gx * gx;
      gyy += gy * gy;
      gxy += gx * gy;
    }
  }
  const double count = static_cast<double>(ASize) * ASize;
  const double mean = sum / count;
  const double energy = gxx + gyy;
  const double coherence = energy > 0 ? std::sqrt((gxx - gyy) * (gxx - gyy) + 4 * gxy * gxy) / energy : 0;
  return {static_cast<float>(std::sqrt(std::max(0.0, squares / count - mean * mean))),
          static_cast<float>(coherence)};
}

}  // namespace

TBlockGrid::TBlockGrid(const TGreyImage& AImage, int ABlockSize) : FBlockSize(ABlockSize) {
  const bool valid = ABlockSize > 0 && AImage.Width > 0 && AImage.Height > 0 &&
                     AImage.Pixels.size() == static_cast<std::size_t>(AImage.Width) * AImage.Height;
  if (!valid) return;
  FColumns = AImage.Width / ABlockSize;
  FRows = AImage.Height / ABlockSize;
  FBlocks.reserve(static_cast<std::size_t>(FColumns * FRows));
  for (int row = 0; row < FRows; ++row) {
    for (int column = 0; column < FColumns; ++column) {
      FBlocks.push_back(MeasureBlock(AImage, column * ABlockSize, row * ABlockSize, ABlockSize));
    }
  }
}
