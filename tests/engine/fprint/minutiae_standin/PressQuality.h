#pragma once
#include <cstdint>
#include <span>
#include "GreyImage.h"
#include "Minutia.h"
struct TPressQuality { int32_t Quality = 0; int32_t FeatureInfo = 1; };
TPressQuality MeasurePressQuality(const TGreyImage& AImage, std::span<const TMinutia> AMinutiae);
