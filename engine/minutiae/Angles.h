#pragma once

#include <cmath>
#include <numbers>

inline constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;

// The same direction in [0, 2pi). Angles in matching are sums and differences of directions
// already in range, so one step usually suffices; fmod is the rare fallback.
inline float NormalizeAngle(float AAngle) {
  if (AAngle < 0) AAngle += kTwoPi;
  else if (AAngle >= kTwoPi) AAngle -= kTwoPi;
  if (AAngle >= 0 && AAngle < kTwoPi) return AAngle;
  const float angle = std::fmod(AAngle, kTwoPi);
  const float wrapped = angle < 0 ? angle + kTwoPi : angle;
  return wrapped < kTwoPi ? wrapped : 0;
}

// Signed turn from AFrom to ATo, in [-pi, pi).
inline float AngleDifference(float AFrom, float ATo) {
  return NormalizeAngle(ATo - AFrom + std::numbers::pi_v<float>) - std::numbers::pi_v<float>;
}

// Unsigned gap between two directions, in [0, pi].
inline float AngleDistance(float AFirst, float ASecond) {
  return std::fabs(AngleDifference(AFirst, ASecond));
}

// The same for two directions already in [0, 2pi): the hot path of matching.
inline float NormalizedAngleDistance(float AFirst, float ASecond) {
  const float gap = std::fabs(AFirst - ASecond);
  return gap > std::numbers::pi_v<float> ? kTwoPi - gap : gap;
}

inline constexpr float DegreesToRadians(float ADegrees) {
  return ADegrees * std::numbers::pi_v<float> / 180;
}
