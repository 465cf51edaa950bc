#pragma once

#include <cstdint>
#include <vector>

// A sensor image: row-major, 8-bit, ridges dark (0) on light (255), 500 dpi.
struct TGreyImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;
};
