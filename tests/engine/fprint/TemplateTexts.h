#pragma once

#include <string>

#include "FingerMatcher.h"
#include "FingerTemplate.h"
#include "MinutiaeTemplate.h"

// One valid template text of each engine, and a copy of a text with its last digit changed.
inline std::u16string SimulatedTemplateText() {
  return EncodeTemplate(SimulatePress(2, 80, 1), TTemplateFormat::V10);
}

inline std::u16string ReaderTemplateText() {
  return EncodeMinutiaeTemplate({320, 480, 60, {{10, 20, 1}, {200, 300, 2}}}, 10);
}

inline std::u16string LastDigitChanged(std::u16string AText) {
  AText.back() = AText.back() == u'0' ? u'1' : u'0';
  return AText;
}
