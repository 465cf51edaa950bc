#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "PreparedTemplate.h"

// An enrolled finger as identification sees it: its samples.
using TEnrolmentSamples = std::span<const TPreparedTemplate>;

// What identification keeps: on 1,000 enrolments of real and generated presses the matching
// finger ranks first for nine probes in ten (bench/gallery_identification), but weak real matches
// rank lower; 32 loses one of 232 identifications to the full search where 16 lost four, at about
// 11 ms of processor time per identification instead of 9. Each one kept costs a full comparison
// per sample.
inline constexpr std::size_t kIdentificationShortlist = 32;

// The enrolments worth a full comparison with a probe, in ascending order: those whose samples
// agree most with the probe at a first look (TProbeScreen), AMaxCount at most. A finger that
// matches firmly agrees far more than the gallery's strangers and ranks first; one that barely
// reaches the threshold may rank far lower and is then missed (bench/gallery_identification
// counts how often).
std::vector<std::size_t> ShortlistEnrolments(std::span<const TEnrolmentSamples> AEnrolments,
                                             TEnrolmentSamples AProbe, std::size_t AMaxCount);
