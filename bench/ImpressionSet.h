#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GreyImage.h"

// The generated presses a benchmark uses: fingers with seeds AFirstFinger.. and impressions with
// seeds 1..M, every image the same for the same seeds. Generated once, kept in memory, and
// written to (or read back from) ACacheFolder when one is given, so that a rerun skips the
// generator.
class TImpressionSet {
 public:
  TImpressionSet(int AFingers, int AImpressions, uint32_t AFirstFinger, const std::string& ACacheFolder);

  int Fingers() const { return static_cast<int>(FImages.size()); }
  int Impressions() const { return FImpressions; }
  uint32_t FingerSeed(int AFinger) const { return FFirstFinger + static_cast<uint32_t>(AFinger); }
  const TGreyImage& Image(int AFinger, int AImpression) const;

 private:
  int FImpressions;
  uint32_t FFirstFinger;
  std::vector<std::vector<TGreyImage>> FImages;
};
