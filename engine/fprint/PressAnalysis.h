#pragma once

#include <cstdint>
#include <optional>

#include "MinutiaeTemplate.h"
#include "ReaderScan.h"

// A press as the engine reports and counts it.
struct TAnalysedPress {
  int32_t QualityClass = 1;  // 0 good, -1 suspicious, 1 poor
  int32_t Quality = 0;       // 0..100
  std::optional<TMinutiaeTemplate> Template;  // none when the reader could not use the press
};

// Rates a scan that is an image (its template carries the quality) or a retry (poor, no
// template); other kinds are not presses.
TAnalysedPress AnalysePress(const TReaderScan& AScan);
