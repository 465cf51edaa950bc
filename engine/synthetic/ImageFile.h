#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "GreyImage.h"

// Greyscale image files for pressing images on a sensor and for looking at generated ones:
// binary PGM (P5) and 8-bit greyscale or RGB non-interlaced PNG (RGB is turned to grey, alpha
// is ignored).

class EImageFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Larger sides are refused: no sensor image comes close, and a corrupt header must not make
// the reader allocate gigabytes.
inline constexpr int kMaxImageSide = 16384;

TGreyImage DecodePgm(std::string_view ABytes);
std::string EncodePgm(const TGreyImage& AImage);
TGreyImage DecodePng(std::string_view ABytes);
std::string EncodePng(const TGreyImage& AImage);

// PGM or PNG, told apart by content. Errors name the file and what is wrong with it.
TGreyImage ReadImageFile(const std::string& APath);
// PNG when the path ends in ".png", PGM otherwise.
void WriteImageFile(const std::string& APath, const TGreyImage& AImage);
