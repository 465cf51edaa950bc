#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "Minutia.h"
struct TMinutiaeTemplate { int32_t Width = 0; int32_t Height = 0; int32_t Quality = 0; std::vector<TMinutia> Minutiae; };
std::u16string EncodeMinutiaeTemplate(const TMinutiaeTemplate&, int AFormat);
std::optional<TMinutiaeTemplate> DecodeMinutiaeTemplate(std::u16string_view AText);
