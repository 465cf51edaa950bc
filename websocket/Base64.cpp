#include "Base64.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(const uint8_t* AData, size_t ALength) {
  std::string out;
  out.reserve((ALength + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= ALength; i += 3) {
    const uint32_t group = uint32_t(AData[i]) << 16 | uint32_t(AData[i + 1]) << 8 | AData[i + 2];
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(kAlphabet[(group >> 6) & 0x3F]);
    out.push_back(kAlphabet[group & 0x3F]);
  }
  const size_t rest = ALength - i;
  if (rest > 0) {
    const uint32_t group = uint32_t(AData[i]) << 16 | (rest == 2 ? uint32_t(AData[i + 1]) << 8 : 0);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    out.push_back('=');
  }
  return out;
}
