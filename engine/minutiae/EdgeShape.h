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

// The lengths an edge of length ALength can match: [Low, High]. The same as
// |a - b| <= LengthTolerance(max(a, b)), in a form that hot loops compute once per edge.
struct TLengthRange {
  float Low;
  float High;
  bool Contains(float ALength) const { return ALength >= Low && ALength <= High; }
};
inline TLengthRange MatchingLengths(float ALength) {
  return {ALength - LengthTolerance(ALength),
          std::max(ALength + kMinLengthTolerance, ALength / (1 - kRelativeLengthTolerance))};
}

// Whether the minutiae of two edges lie at the same angles to them.
inline bool EdgeAnglesMatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond) {
  return NormalizedAngleDistance(AFirst.FromAngle, ASecond.FromAngle) <= kAngleTolerance &&
         NormalizedAngleDistance(AFirst.ToAngle, ASecond.ToAngle) <= kAngleTolerance;
}

// Whether two edges may be the same pair of minutiae seen in two presses.
inline bool EdgesMatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond) {
  return MatchingLengths(AFirst.Length).Contains(ASecond.Length) && EdgeAnglesMatch(AFirst, ASecond);
}

// How far apart two matching edges are, each difference measured in its tolerance; 0..3.
float EdgeMismatch(const TEdgeShape& AFirst, const TEdgeShape& ASecond);
