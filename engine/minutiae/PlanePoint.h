#pragma once

struct TPlanePoint {
  float X = 0;
  float Y = 0;
};
