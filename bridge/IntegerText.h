#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ERangeError : public std::runtime_error {
 public:
  ERangeError() : std::runtime_error("Range check error") {}
};

// Integer text as the port box accepts it: leading spaces, an optional sign, then decimal digits
// or hexadecimal digits after "$", "x", "X", "0x" or "0X", up to the end of the text. Anything else
// raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::u16string& AText);
// StrToInt, then raises ERangeError unless the value lies in 0..65535.
uint16_t StrToPort(const std::u16string& AText);

std::u16string IntToStr(int64_t AValue);
std::string ToUtf8(std::u16string_view AText);
std::u16string FromUtf8(std::string_view AText);
