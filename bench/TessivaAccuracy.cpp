#include "TessivaAccuracy.h"

#include "MinutiaeMatcher.h"
#include "PreparedTemplate.h"

namespace {

constexpr int kScoreLimit = 101;  // scores lie in 0..100

std::optional<TPreparedTemplate> Prepare(const TTessivaTemplate& ATemplate) {
  if (!ATemplate.Decoded) return std::nullopt;
  return TPreparedTemplate(*ATemplate.Decoded);
}

}  // namespace

TTessivaAccuracy ScoreTessivaTemplates(const TTessivaTemplates& ATemplates, int AThreshold) {
  TTessivaAccuracy result;
  std::vector<std::optional<TPreparedTemplate>> enrolled;
  for (const auto& finger : ATemplates.Enrolled) {
    enrolled.push_back(Prepare(finger));
    if (!enrolled.back()) ++result.FailedEnrolments;
  }
  for (std::size_t finger = 0; finger < ATemplates.Probes.size(); ++finger) {
    for (const auto& press : ATemplates.Probes[finger]) {
      const std::optional<TPreparedTemplate> probe = Prepare(press);
      if (!probe) ++result.FailedCaptures;
      int bestScore = -1;
      std::size_t bestFinger = 0;
      for (std::size_t other = 0; other < enrolled.size(); ++other) {
        const bool both = probe && enrolled[other];
        const int score = both ? CompareMinutiae(*enrolled[other], *probe) : 0;
        if (other == finger) {
          result.Table.AddGenuine(score);
        } else if (both) {
          result.Table.AddImpostor(score);
        }
        if (both && score > bestScore) {
          bestScore = score;
          bestFinger = other;
        }
      }
      ++result.Identifications;
      if (bestScore >= AThreshold && bestFinger == finger) ++result.CorrectIdentifications;
    }
  }
  return result;
}

int ThresholdAtFalseMatchRate(const TAccuracyTable& ATable, double AMaxRate) {
  int threshold = 0;
  while (threshold < kScoreLimit && ATable.FalseMatchRate(threshold) > AMaxRate) ++threshold;
  return threshold;
}
