#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// The fingers whose enrolments one probe press is identified among, for both matchers: its own
// finger and the ASize - 1 fingers after it (in a circle), in an order shuffled for each probe
// from ASeed. A fixed order would favour one rule or the other: a first-match rule is helped
// when the own print comes first and hurt when it comes last. A gallery of this size gives
// enough impostor pairs while keeping libfprint's identification, which costs a press and one
// match per print, short.
inline std::vector<int> IdentificationGallery(int AFinger, int AProbe, int AFingers, int ASize,
                                              uint32_t ASeed) {
  std::vector<int> gallery{AFinger};
  for (int step = 1; step < ASize && step < AFingers; ++step)
    gallery.push_back((AFinger + step) % AFingers);
  std::seed_seq seed{ASeed, static_cast<uint32_t>(AFinger), static_cast<uint32_t>(AProbe)};
  std::mt19937 order(seed);
  std::shuffle(gallery.begin(), gallery.end(), order);
  return gallery;
}
