#include "PortText.h"

#include "Utf8Text.h"

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

int DecimalDigit(char16_t c) {
  return c >= u'0' && c <= u'9' ? c - u'0' : -1;
}

[[noreturn]] void NotAnInteger(const std::u16string& AText) {
  throw EConvertError("'" + ToUtf8(AText) + "' is not a valid integer value");
}

}  // namespace

int32_t StrToInt(const std::u16string& AText) {
  size_t i = 0;
  while (i < AText.size() && AText[i] == u' ') ++i;
  bool negative = false;
  if (i < AText.size() && (AText[i] == u'+' || AText[i] == u'-')) negative = AText[i++] == u'-';
  bool hex = false;
  if (i < AText.size() && (AText[i] == u'$' || AText[i] == u'x' || AText[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < AText.size() && AText[i] == u'0' &&
             (AText[i + 1] == u'x' || AText[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i == AText.size()) NotAnInteger(AText);
  // The magnitude, kept below 2^32 so that it never overflows.
  int64_t magnitude = 0;
  for (; i < AText.size(); ++i) {
    const int digit = hex ? HexDigit(AText[i]) : DecimalDigit(AText[i]);
    if (digit < 0) NotAnInteger(AText);
    magnitude = magnitude * (hex ? 16 : 10) + digit;
    if (magnitude > 0xFFFFFFFFll) NotAnInteger(AText);
  }
  // Unsigned hexadecimal text names the 32 bits, as the port box always accepted.
  if (hex && !negative) return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
  const int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) NotAnInteger(AText);
  return static_cast<int32_t>(value);
}

uint16_t StrToPort(const std::u16string& AText) {
  const int32_t value = StrToInt(AText);
  if (value < 0 || value > 65535) throw ERangeError();
  return static_cast<uint16_t>(value);
}
