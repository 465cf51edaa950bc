#pragma once

#include <string>

#include "ImpressionSet.h"

// A folder of presses named F_K.pgm (or .png): finger F = 1..N, impression K = 1..M, dark
// ridges on light, any size. Every finger 1..N must have impressions 1..M, M the most that all
// of them have; other files are ignored.
bool HoldsImpressions(const std::string& AFolder);
TImpressionSet ReadImpressionFolder(const std::string& AFolder);
