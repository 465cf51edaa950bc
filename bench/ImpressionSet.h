#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GreyImage.h"

// The presses a benchmark uses, kept in memory: finger 0.. by impression 0... Either generated
// (fingers with seeds AFirstFinger.. and impressions with seeds 1..M, every image the same for
// the same seeds; written to, or read back from, ACacheFolder when one is given, so that a rerun
// skips the generator; generation uses every core) or read from a folder of F_K files.
class TImpressionSet {
 public:
  TImpressionSet(int AFingers, int AImpressions, uint32_t AFirstFinger,
                 const std::string& ACacheFolder);
  // Images read elsewhere; finger i is numbered AFirstFinger + i in messages.
  TImpressionSet(std::vector<std::vector<TGreyImage>> AImages, uint32_t AFirstFinger);

  int Fingers() const { return static_cast<int>(FImages.size()); }
  int Impressions() const { return FImpressions; }
  // The finger's seed for a generated set, its F for a folder.
  uint32_t FingerNumber(int AFinger) const { return FFirstFinger + static_cast<uint32_t>(AFinger); }
  const TGreyImage& Image(int AFinger, int AImpression) const;

 private:
  void MakeFinger(int AFinger, const std::string& ACacheFolder);

  int FImpressions;
  uint32_t FFirstFinger;
  std::vector<std::vector<TGreyImage>> FImages;
};
