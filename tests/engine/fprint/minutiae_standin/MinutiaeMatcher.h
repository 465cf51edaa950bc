#pragma once
#include <cstdint>
#include "MinutiaeTemplate.h"
int32_t CompareMinutiae(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe);
