#include "SkeletonMinutiae.h"

#include <cstdint>

namespace {

using TBits = std::vector<uint8_t>;

// Neighbours clockwise from north, as the thinning and the crossing number want them.
constexpr int kDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

struct TNeighbours {
  int Value[8];
  int Count = 0;
  int Transitions = 0;  // 0 -> 1 steps going round once
};

TNeighbours Around(const TBits& ABits, int AWidth, int AX, int AY) {
  TNeighbours n;
  for (int i = 0; i < 8; ++i) {
    n.Value[i] = ABits[static_cast<size_t>(AY + kDy[i]) * AWidth + AX + kDx[i]];
    n.Count += n.Value[i];
  }
  for (int i = 0; i < 8; ++i) n.Transitions += n.Value[i] == 0 && n.Value[(i + 1) % 8] == 1;
  return n;
}

// Zhang-Suen thinning; the border row and column stay 0.
void Thin(TBits& ABits, int AWidth, int AHeight) {
  bool changed = true;
  std::vector<size_t> remove;
  while (changed) {
    changed = false;
    for (int pass = 0; pass < 2; ++pass) {
      remove.clear();
      for (int y = 1; y < AHeight - 1; ++y) {
        for (int x = 1; x < AWidth - 1; ++x) {
          if (!ABits[static_cast<size_t>(y) * AWidth + x]) continue;
          const TNeighbours n = Around(ABits, AWidth, x, y);
          const int* p = n.Value;  // p[0] north, p[2] east, p[4] south, p[6] west
          if (n.Count < 2 || n.Count > 6 || n.Transitions != 1) continue;
          const bool first = p[0] * p[2] * p[4] == 0 && p[2] * p[4] * p[6] == 0;
          const bool second = p[0] * p[2] * p[6] == 0 && p[0] * p[4] * p[6] == 0;
          if (pass == 0 ? first : second) remove.push_back(static_cast<size_t>(y) * AWidth + x);
        }
      }
      for (const size_t i : remove) ABits[i] = 0;
      changed = changed || !remove.empty();
    }
  }
}

}  // namespace

TSkeletonMinutiae CountSkeletonMinutiae(const TSyntheticMaster& AMaster, double AMargin) {
  const TFloatField& ridges = AMaster.Ridges();
  const int width = ridges.Width;
  const int height = ridges.Height;
  TBits bits(static_cast<size_t>(width) * height, 0);
  for (int y = 1; y < height - 1; ++y) {
    for (int x = 1; x < width - 1; ++x) {
      bits[static_cast<size_t>(y) * width + x] = AMaster.Shape().Inside(x, y) > 0 && ridges.At(x, y) > 0;
    }
  }
  Thin(bits, width, height);
  TSkeletonMinutiae minutiae;
  for (int y = 1; y < height - 1; ++y) {
    for (int x = 1; x < width - 1; ++x) {
      if (!bits[static_cast<size_t>(y) * width + x] || AMaster.Shape().Inside(x, y) < AMargin) continue;
      const TNeighbours n = Around(bits, width, x, y);
      int crossings = 0;
      for (int i = 0; i < 8; ++i) crossings += n.Value[i] != n.Value[(i + 1) % 8];
      if (crossings == 2) ++minutiae.Endings;
      if (crossings == 6) ++minutiae.Bifurcations;
    }
  }
  return minutiae;
}
