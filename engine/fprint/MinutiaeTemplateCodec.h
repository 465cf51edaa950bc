#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "MinutiaeTemplate.h"
#include "PreparedTemplate.h"
#include "ReaderScore.h"

// How the 1:N caches read and compare the reader engine's templates: prepared once when added,
// so that identifying compares cheaply.
struct TMinutiaeTemplateCodec {
  static std::optional<TPreparedTemplate> Decode(std::u16string_view AText) {
    auto decoded = DecodeMinutiaeTemplate(AText);
    if (!decoded) return std::nullopt;
    return TPreparedTemplate(std::move(*decoded));
  }
  static int32_t Score(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe) {
    return ReaderScore(AEnrolled, AProbe);
  }
};
