#pragma once

// A ridge ending or bifurcation: position in pixels (y downward), direction in radians [0, 2pi).
struct TMinutia {
  float X = 0;
  float Y = 0;
  float Direction = 0;
};
