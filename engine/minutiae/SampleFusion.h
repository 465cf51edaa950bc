#pragma once

#include <cstdint>
#include <span>

// One score for a probe compared with every sample of an enrolment: the best of them, less what
// the extra chances are worth. A score counts ten per decade of false match rate, and n samples
// give a stranger about n chances to reach it, so the best of three loses 10 log10(3) ~ 5.
// Keeping the samples apart matches real presses better than merging them (bench/template_accuracy).
int32_t FuseSampleScores(std::span<const int32_t> AScores);
