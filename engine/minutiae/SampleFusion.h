#pragma once

#include <cstdint>
#include <span>

// One score for a probe compared with every sample of an enrolment: the best of them.
int32_t FuseSampleScores(std::span<const int32_t> AScores);
