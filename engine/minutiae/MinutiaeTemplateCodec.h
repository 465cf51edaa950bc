#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "MinutiaeTemplate.h"
#include "PreparedTemplate.h"
#include "ReaderScore.h"
#include "SampleFusion.h"

// A finger as the reader engine compares it: the samples of an enrolment, or the one press of a
// probe or of an earlier single-press template.
using TPreparedSamples = std::vector<TPreparedTemplate>;

// How the engine reads and compares its templates, in verification and in the 1:N caches:
// prepared once when decoded, so that identifying compares cheaply.
struct TMinutiaeTemplateCodec {
  static std::optional<TPreparedSamples> Decode(std::u16string_view AText) {
    auto decoded = DecodeTemplateSamples(AText);
    if (!decoded) return std::nullopt;
    TPreparedSamples samples;
    for (TMinutiaeTemplate& sample : *decoded) samples.emplace_back(std::move(sample));
    return samples;
  }

  // The probe against every enrolled sample, fused into one score. A probe is one press; one with
  // several samples scores as its best.
  static int32_t Score(const TPreparedSamples& AEnrolled, const TPreparedSamples& AProbe) {
    int32_t best = 0;
    std::vector<int32_t> scores;
    for (const TPreparedTemplate& probe : AProbe) {
      scores.clear();
      for (const TPreparedTemplate& sample : AEnrolled)
        scores.push_back(ReaderScore(sample, probe));
      best = std::max(best, FuseSampleScores(scores));
    }
    return best;
  }
};
