#include "LogLineLimit.h"

#include "Utf8Text.h"

namespace {

bool IsSurrogatePair(char16_t AHigh, char16_t ALow) {
  return AHigh >= 0xD800 && AHigh <= 0xDBFF && ALow >= 0xDC00 && ALow <= 0xDFFF;
}

}  // namespace

std::u16string ShownLogLine(std::u16string_view ALine) {
  if (ALine.size() <= kLogLineShownUnits) return std::u16string(ALine);
  size_t kept = kLogLineShownUnits;
  if (IsSurrogatePair(ALine[kept - 1], ALine[kept])) --kept;
  // Only lines over the limit pay for the conversion.
  const size_t bytes = ToUtf8(ALine).size();
  return std::u16string(ALine.substr(0, kept)) +
         FromUtf8("... (" + std::to_string(bytes) + " bytes)");
}
