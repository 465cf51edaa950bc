#include "NearestNeighbours.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

// The bits of a float that is not negative order as its value.
uint32_t OrderBits(float AValue) {
  return std::bit_cast<uint32_t>(AValue);
}

// The nearest minutiae offered so far, nearest first, each as one key: squared distance, then
// index, so that one integer comparison ranks them. Keeps one at least.
class TNearestKept {
 public:
  explicit TNearestKept(std::size_t AWanted) : FWanted(std::min(AWanted, kMaxNearestNeighbours)) {}

  bool Full() const { return FKept == FWanted; }
  // Squared distance of the farthest kept, as OrderBits; only when Full.
  uint32_t FarthestBits() const { return static_cast<uint32_t>(FKeys[FKept - 1] >> 32); }

  void Offer(float ASquaredDistance, std::size_t AIndex) {
    const uint64_t key = uint64_t{OrderBits(ASquaredDistance)} << 32 | AIndex;
    if (Full()) {
      if (key >= FKeys[FKept - 1]) return;
      --FKept;
    }
    std::size_t slot = FKept++;
    for (; slot > 0 && FKeys[slot - 1] > key; --slot) FKeys[slot] = FKeys[slot - 1];
    FKeys[slot] = key;
  }

  std::size_t CopyTo(std::span<uint16_t> ANearest) const {
    for (std::size_t k = 0; k < FKept; ++k) ANearest[k] = static_cast<uint16_t>(FKeys[k]);
    return FKept;
  }

 private:
  std::size_t FWanted;
  std::size_t FKept = 0;
  std::array<uint64_t, kMaxNearestNeighbours> FKeys;
};

}  // namespace

TNeighbourSearch::TNeighbourSearch(std::span<const TMinutia> AMinutiae)
    : FMinutiae(AMinutiae), FByY(AMinutiae.size()), FRank(AMinutiae.size()) {
  for (std::size_t i = 0; i < FByY.size(); ++i) FByY[i] = static_cast<uint16_t>(i);
  std::sort(FByY.begin(), FByY.end(), [&](uint16_t A, uint16_t B) {
    return AMinutiae[A].Y != AMinutiae[B].Y ? AMinutiae[A].Y < AMinutiae[B].Y : A < B;
  });
  for (std::size_t rank = 0; rank < FByY.size(); ++rank)
    FRank[FByY[rank]] = static_cast<uint16_t>(rank);
}

std::size_t TNeighbourSearch::Find(std::size_t AFrom, std::span<uint16_t> ANearest) const {
  if (ANearest.empty()) return 0;
  TNearestKept nearest(ANearest.size());
  const TMinutia& from = FMinutiae[AFrom];
  // Offers one minutia; false once it lies farther in Y alone than the farthest kept, and so
  // does every one beyond it in FByY, since the squared distance is at least that in Y.
  const auto offer = [&](std::size_t ATo) {
    const float dx = FMinutiae[ATo].X - from.X, dy = FMinutiae[ATo].Y - from.Y;
    if (nearest.Full() && OrderBits(dy * dy) > nearest.FarthestBits()) return false;
    nearest.Offer(dx * dx + dy * dy, ATo);
    return true;
  };
  // Outwards from the minutia's own place, both ways in turn, so that near ones come first.
  std::size_t above = FRank[AFrom] + 1u, below = FRank[AFrom];
  while (above < FByY.size() || below > 0) {
    if (above < FByY.size()) above = offer(FByY[above]) ? above + 1 : FByY.size();
    if (below > 0) below = offer(FByY[below - 1]) ? below - 1 : 0;
  }
  return nearest.CopyTo(ANearest);
}
