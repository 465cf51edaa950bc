#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Minutia.h"

inline constexpr std::size_t kMaxNearestNeighbours = 32;

// Finds the minutiae nearest to each minutia of a template: the same neighbours, in the same
// order, as sorting all the others by squared distance, with ties to the lower index (so that
// they follow from the positions alone); but only the others within reach are looked at.
class TNeighbourSearch {
 public:
  // AMinutiae must outlive the search.
  explicit TNeighbourSearch(std::span<const TMinutia> AMinutiae);

  // The others nearest to minutia AFrom, nearest first, as many as ANearest holds (at most
  // kMaxNearestNeighbours) or there are others; returns how many.
  std::size_t Find(std::size_t AFrom, std::span<uint16_t> ANearest) const;

 private:
  std::span<const TMinutia> FMinutiae;
  std::vector<uint16_t> FByY;   // indices, ascending Y
  std::vector<uint16_t> FRank;  // each minutia's place in FByY
};
