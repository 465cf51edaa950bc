#include "IntegerText.h"

#include "IdTextEncoding.h"

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
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
  uint64_t value = 0;
  for (; i < AText.size(); ++i) {
    const int digit =
        hex ? HexDigit(AText[i]) : (AText[i] >= u'0' && AText[i] <= u'9' ? AText[i] - u'0' : -1);
    if (digit < 0) NotAnInteger(AText);
    value = value * (hex ? 16 : 10) + uint64_t(digit);
    if (value > 0xFFFFFFFFull) NotAnInteger(AText);
  }
  if (hex) {
    // Hexadecimal text names the 32 bits, as the port box always accepted ("$FFFFFFFF" is -1).
    const int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? -bits : bits;
  }
  if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) NotAnInteger(AText);
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(value))
                  : static_cast<int32_t>(value);
}

uint16_t StrToPort(const std::u16string& AText) {
  const int32_t value = StrToInt(AText);
  if (value < 0 || value > 65535) throw ERangeError();
  return static_cast<uint16_t>(value);
}

std::u16string IntToStr(int64_t AValue) {
  const std::string digits = std::to_string(AValue);
  return std::u16string(digits.begin(), digits.end());
}

std::string ToUtf8(std::u16string_view AText) {
  const TIdBytes bytes = IdTextEncodingUTF8().GetBytes(AText);
  return std::string(bytes.begin(), bytes.end());
}

std::u16string FromUtf8(std::string_view AText) {
  return IdTextEncodingUTF8().GetString(reinterpret_cast<const uint8_t*>(AText.data()),
                                        AText.size());
}
