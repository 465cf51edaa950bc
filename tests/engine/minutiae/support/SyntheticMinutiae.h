#pragma once

// Made-up fingers and presses of them as minutiae sets, for tests and benchmarks.
//
// A finger is 30..60 minutiae, at least 10 px apart, in a finger-shaped ellipse filling a
// 300 x 400 frame; their directions follow a ridge flow with a core and a delta, as in real
// fingers, so that unrelated fingers resemble each other as much as real ones do. A press
// moves, turns and stretches the finger, loses minutiae, adds spurious ones where contact ends
// and sees only what falls inside its window.

#include <random>

#include "MinutiaeTemplate.h"

inline constexpr int kSyntheticFrameWidth = 300;
inline constexpr int kSyntheticFrameHeight = 400;

struct TPressConditions {
  float RotationDegrees = 0;       // the turn, give or take RotationSpreadDegrees
  float RotationSpreadDegrees = 20;
  float MaxShift = 30;            // pixels, each axis
  float Distortion = 0.03f;       // relative stretch of skin across the press
  float PositionNoise = 2;        // pixels, standard deviation
  float DirectionNoiseDegrees = 8;
  float DropRate = 0.2f;          // share of minutiae the extractor misses
  float SpuriousRate = 0.1f;      // spurious minutiae near the contact border, share of the count
  float WindowArea = 1;           // share of the frame the press sees, a random part of it
};

TMinutiaeTemplate MakeSyntheticFinger(std::mt19937& ARandom);

TMinutiaeTemplate MakeSyntheticPress(const TMinutiaeTemplate& AFinger,
                                     const TPressConditions& AConditions, std::mt19937& ARandom);
