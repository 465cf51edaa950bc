#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "Minutia.h"

class EPrintFormat : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The minutiae of one scan as libfprint serialises an image reader's print: "FP3" and a
// GVariant (issbymsmsia{sv}v) whose last member holds (a(aiaiai)): x, y measured from the
// bottom edge, and directions in degrees counter-clockwise with y upward. The result is in our
// frame (y downward, radians in [0, 2pi)) for an image of AWidth x AHeight. Anything else,
// including a value outside the image, raises EPrintFormat.
std::vector<TMinutia> MinutiaeFromSerializedPrint(std::span<const uint8_t> ABlob, int AWidth,
                                                  int AHeight);
