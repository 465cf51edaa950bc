#pragma once

#include <cstdint>
#include <span>

#include "GreyImage.h"
#include "Minutia.h"

// How usable one press is, as the engine reports it for each press.
struct TPressQuality {
  int32_t Quality = 0;      // 0..100
  int32_t FeatureInfo = 1;  // 0 good, -1 suspicious, 1 poor
};

// From the image and the minutiae found in it: the share of the frame that shows ridges (blocks
// whose grey level varies and whose gradients agree on a ridge orientation), how clearly the
// ridges flow there, how strongly ridges stand out from valleys, and how many minutiae lie inside
// that area away from its border. The count
// alone means nothing: noise yields as many minutiae as a finger, but no ridge flow.
TPressQuality MeasurePressQuality(const TGreyImage& AImage, std::span<const TMinutia> AMinutiae);
