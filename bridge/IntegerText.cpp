#include "IntegerText.h"

std::u16string IntToStr(int64_t AValue) {
  const std::string digits = std::to_string(AValue);
  return std::u16string(digits.begin(), digits.end());
}
