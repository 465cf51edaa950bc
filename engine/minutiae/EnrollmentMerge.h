#pragma once

#include <span>

#include "MinutiaeTemplate.h"

// One template from the accepted presses of an enrolment. Presses 2..n are aligned onto press 1
// as the matcher aligns them; minutiae that coincide are averaged into one; a minutia stays if
// two presses show it, or if no other press covered its place (it could not be confirmed, nor
// was it contradicted). The area grows to everything the presses saw, in press 1's frame moved
// so that no coordinate is negative. A press that does not match press 1 is left out.
// Strongest evidence first, at most 255 minutiae.
TMinutiaeTemplate MergeEnrollment(std::span<const TMinutiaeTemplate> APresses);
