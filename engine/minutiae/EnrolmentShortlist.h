#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "PreparedTemplate.h"

// An enrolled finger as identification sees it: its samples.
using TEnrolmentSamples = std::span<const TPreparedTemplate>;

// The enrolments worth a full comparison with a probe, in ascending order: those whose samples
// agree most with the probe at a first look (TProbeScreen), AMaxCount at most. A finger that
// reaches the threshold agrees far more than the gallery's strangers, so it is nearly always
// among the first few dozen; bench/gallery_identification counts how often it is not.
// What identification keeps: on 1,000 enrolments of real and generated presses the matching
// finger ranked 9th at worst (bench/gallery_identification), and each one kept costs a full
// comparison per sample.
inline constexpr std::size_t kIdentificationShortlist = 16;

std::vector<std::size_t> ShortlistEnrolments(std::span<const TEnrolmentSamples> AEnrolments,
                                             TEnrolmentSamples AProbe, std::size_t AMaxCount);
