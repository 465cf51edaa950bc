#include "JsonNumberText.h"

#include <charconv>

namespace {

void AppendAscii(std::u16string& AText, const char* AFirst, const char* ALast) {
  const size_t start = AText.size();
  AText.resize(start + static_cast<size_t>(ALast - AFirst));
  char16_t* out = AText.data() + start;
  for (const char* p = AFirst; p != ALast; ++p) *out++ = static_cast<char16_t>(*p);
}

}  // namespace

void AppendJsonInteger(std::u16string& AText, int64_t AValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  AppendAscii(AText, buffer, result.ptr);
}

void AppendJsonInteger(std::u16string& AText, uint64_t AValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  AppendAscii(AText, buffer, result.ptr);
}

void AppendJsonFloat(std::u16string& AText, double AValue) {
  // Negative zero is written as "0": "-0" would read back as the integer 0 and change form.
  if (AValue == 0) AValue = 0;
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::general, 15);
  AppendAscii(AText, buffer, result.ptr);
}
