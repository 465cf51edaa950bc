#pragma once

#include <cstdint>
#include <span>

#include "GreyImage.h"
#include "Minutia.h"

// How usable one press is, as the engine reports it for each press, and what that rests on.
struct TPressQuality {
  int32_t Quality = 0;      // 0..100
  int32_t FeatureInfo = 1;  // 0 good, -1 suspicious, 1 poor
  float RidgeArea = 0;      // mm^2 of clear ridges, counting the image as 500 dpi
  int32_t Minutiae = 0;     // minutiae well inside that area
  float Clarity = 0;        // mean share of the ridge wave in the area's energy, 0..1
};

// A press is good when it shows clear ridges over an area a matcher can work with, and enough
// minutiae inside it; poor when there is too little of either to match at all (blank, noise, a
// smudge, a sliver of contact); suspicious in between. Clear means that ridges stand out from the
// image's own noise, whatever the sensor's contrast: a faint but clean print is good. The area
// and the minutiae are counted, not taken as a share of the frame, so a small sensor or a swipe
// strip that shows enough finger is as good as a large one.
TPressQuality MeasurePressQuality(const TGreyImage& AImage, std::span<const TMinutia> AMinutiae);
