#pragma once

#include "Angles.h"

// Tolerances between presses of one finger at 500 dpi: position noise of a few pixels, skin
// stretching of a few percent and direction errors of the feature extractor.
inline constexpr float kMinLengthTolerance = 8;  // pixels
inline constexpr float kRelativeLengthTolerance = 0.1f;
// The extractor's directions hold to a few degrees; a wider tolerance lets edges of different
// fingers agree by chance far more often than it saves edges of one finger.
inline constexpr float kAngleTolerance = DegreesToRadians(14);
// A press turns the finger by a few tens of degrees at most; a wider turn is not searched, which
// keeps chance matches between different fingers down.
inline constexpr float kMaxRotation = DegreesToRadians(60);
// How far a pair's rotation may stray from the alignment it joins.
inline constexpr float kRotationTolerance = DegreesToRadians(30);
// How far a paired minutia may lie from its partner once the two templates are aligned.
inline constexpr float kMinPositionTolerance = 20;  // pixels
inline constexpr float kRelativePositionTolerance = 0.08f;
