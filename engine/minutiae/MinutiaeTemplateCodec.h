#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "EnrolmentShortlist.h"
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
  static std::optional<TPreparedSamples> Decode(std::u16string_view AText,
                                                TPreparedSide ASide = TPreparedSide::Both) {
    auto decoded = DecodeTemplateSamples(AText);
    if (!decoded) return std::nullopt;
    TPreparedSamples samples;
    samples.reserve(decoded->size());
    for (TMinutiaeTemplate& sample : *decoded) samples.emplace_back(std::move(sample), ASide);
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

  // An enrolled text against a probe text, as 1:1 verification compares them: nothing when
  // either is not a template.
  static std::optional<int32_t> ScoreTexts(std::u16string_view AEnrolled,
                                           std::u16string_view AProbe) {
    const auto enrolled = Decode(AEnrolled, TPreparedSide::Enrolled);
    const auto probe = Decode(AProbe, TPreparedSide::Probe);
    if (!enrolled || !probe) return std::nullopt;
    return Score(*enrolled, *probe);
  }

  // The enrolments a probe is scored against in identification; every other one is taken for a
  // stranger. A finger that matches firmly ranks first at the first look, so the best match is
  // that of a full search but for a few near the threshold (bench/gallery_identification).
  static std::vector<std::size_t> Shortlist(std::span<const TPreparedSamples* const> AEnrolled,
                                            const TPreparedSamples& AProbe) {
    std::vector<TEnrolmentSamples> enrolments;
    enrolments.reserve(AEnrolled.size());
    for (const TPreparedSamples* samples : AEnrolled) enrolments.emplace_back(*samples);
    return ShortlistEnrolments(enrolments, AProbe, kIdentificationShortlist);
  }
};
