#pragma once

#include <cstdint>
#include <string>

// Decimal text of numbers, independent of the process locale.

void AppendJsonInteger(std::u16string& AText, int64_t AValue);
void AppendJsonInteger(std::u16string& AText, uint64_t AValue);
inline void AppendJsonInteger(std::u16string& AText, int32_t AValue) {
  AppendJsonInteger(AText, static_cast<int64_t>(AValue));
}
// General format with at most 15 significant digits and "." as decimal separator: plain digits
// for decimal exponents from -4 to 14 (0.0001), otherwise a mantissa and "e+NN"/"e-NN" (1e+15,
// 1e-05).
void AppendJsonFloat(std::u16string& AText, double AValue);
