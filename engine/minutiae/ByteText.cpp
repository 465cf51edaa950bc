#include "ByteText.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
constexpr char16_t kDigits[] = u"0123456789abcdef";

int HexDigitValue(char16_t ADigit) {
  if (ADigit >= u'0' && ADigit <= u'9') return ADigit - u'0';
  if (ADigit >= u'a' && ADigit <= u'f') return ADigit - u'a' + 10;
  return -1;
}

}  // namespace

uint32_t Crc32(std::span<const uint8_t> ABytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : ABytes) crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::u16string BytesToHex(std::span<const uint8_t> ABytes) {
  std::u16string text;
  text.reserve(ABytes.size() * 2);
  for (uint8_t byte : ABytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::optional<std::vector<uint8_t>> HexToBytes(std::u16string_view AText) {
  if (AText.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(AText.size() / 2);
  for (std::size_t i = 0; i < AText.size(); i += 2) {
    const int high = HexDigitValue(AText[i]);
    const int low = HexDigitValue(AText[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}
