#pragma once

#include <string>

#include "GreyImage.h"

// One press on libfprint's virtual image reader listening at ASocketPath: a connection carrying
// the native-endian 32-bit width and height, then the pixels (finger on and off are automatic on
// a new connection). Throws std::runtime_error when the reader cannot be reached.
void PressVirtualReader(const std::string& ASocketPath, const TGreyImage& AImage);
