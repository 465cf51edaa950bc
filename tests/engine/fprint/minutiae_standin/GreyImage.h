#pragma once
#include <cstdint>
#include <vector>
struct TGreyImage { int Width = 0; int Height = 0; std::vector<uint8_t> Pixels; };
