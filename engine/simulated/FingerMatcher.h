#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FingerFeatures.h"

// Minutia matching and enrolment fusion; the scoring rule is described in FingerTemplate.h.

struct TSimulatedMinutiaPair {
  std::size_t First = 0;   // index into the first set
  std::size_t Second = 0;  // index into the second set
};

// One-to-one pairs of corresponding minutiae, chosen closest first.
std::vector<TSimulatedMinutiaPair> PairMinutiae(const TFeatureSet& AFirst, const TFeatureSet& ASecond);

// Similarity 0..100 of two feature sets.
int32_t MatchScore(const TFeatureSet& AFirst, const TFeatureSet& ASecond);

// Similarity 0..100 of two template texts; 0 when either is not a valid template.
int32_t ScoreTemplates(std::u16string_view AFirst, std::u16string_view ASecond);

// The enrolled features of a finger from its accepted presses: the minutiae of the first press
// that most other presses confirm, at their averaged position and direction.
TFeatureSet FuseEnrolmentPresses(const std::vector<TFeatureSet>& APresses);
