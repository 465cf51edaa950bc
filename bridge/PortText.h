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
// or hexadecimal digits after "$", "x", "X", "0x" or "0X", up to the end of the text. Unsigned
// hexadecimal text names 32 bits ("$FFFFFFFF" is -1); anything else must fit a 32-bit signed
// value once signed. Every other text raises EConvertError "'<text>' is not a valid integer
// value".
int32_t StrToInt(const std::u16string& AText);
// StrToInt, then raises ERangeError unless the value lies in 0..65535.
uint16_t StrToPort(const std::u16string& AText);
