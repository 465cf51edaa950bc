#pragma once

#include <algorithm>
#include <cmath>

#include "Angles.h"
#include "MatchTolerances.h"
#include "Minutia.h"

// The shape of a directed pair of minutiae: its length, and each minutia's direction relative to
// the line between them, which rotation and translation leave unchanged. EdgeAngle (the line's own
// direction) is not invariant and serves to estimate the rotation between two templates.
struct TEdgeShape {
  float Length = 0;
  float EdgeAngle = 0;
  float FromAngle = 0;
  float ToAngle = 0;
};

TEdgeShape MeasureEdge(const TMinutia& AFrom, const TMinutia& ATo);

// Length difference allowed between corresponding edges: absolute for short edges, relative for
// long ones, so that skin stretching a few percent still matches.
inline float LengthTolerance(float ALength) {
  return std::max(kMinLengthTolerance, kRelativeLengthTolerance * ALength);
}

// The lengths an edge of length ALength can match: [Low, High].
struct TLengthRange {
  float Low;
  float High;
};
inline TLengthRange MatchingLengths(float ALength) {
  return {ALength - LengthTolerance(ALength),
          std::max(ALength + kMinLengthTolerance, ALength / (1 - kRelativeLengthTolerance))};
}

// Whether two edges may be the same pair of minutiae seen in two presses. Inline and without
// short-circuits: matching calls it thousands of times per comparison, mostly to say no, and
// unpredictable branches cost more than the three tests.
inline bool EdgesMatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond) {
  const bool length = std::fabs(AFirst.Length - ASecond.Length) <=
                      LengthTolerance(std::max(AFirst.Length, ASecond.Length));
  const bool from = NormalizedAngleDistance(AFirst.FromAngle, ASecond.FromAngle) <= kAngleTolerance;
  const bool to = NormalizedAngleDistance(AFirst.ToAngle, ASecond.ToAngle) <= kAngleTolerance;
  return length & from & to;
}

// How far apart two matching edges are, each difference measured in its tolerance; 0..3.
float EdgeMismatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond);
