#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "MinutiaeMatcher.h"
#include "MinutiaeTemplate.h"

// How the 1:N caches read and compare the reader engine's templates.
struct TMinutiaeTemplateCodec {
  static std::optional<TMinutiaeTemplate> Decode(std::u16string_view AText) {
    return DecodeMinutiaeTemplate(AText);
  }
  static int32_t Score(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe) {
    return CompareMinutiae(AEnrolled, AProbe);
  }
};
