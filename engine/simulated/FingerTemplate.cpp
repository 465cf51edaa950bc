#include "FingerTemplate.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr std::u16string_view kPrefix9 = u"NQ9:";
constexpr std::u16string_view kPrefix10 = u"NQ10:";
constexpr uint8_t kVersion10 = 10;
constexpr uint8_t kKindBit9 = 0x80;
constexpr std::size_t kHeader10 = 3;
constexpr std::size_t kChecksum10 = 2;
constexpr std::size_t kBytesPerMinutia9 = 3;
constexpr std::size_t kBytesPerMinutia10 = 4;
// Longest byte string either format can hold; longer texts are rejected before decoding.
constexpr std::size_t kMaxTemplateBytes =
    kHeader10 + kMaxMinutiae * kBytesPerMinutia10 + kChecksum10;

using TBytes = std::vector<uint8_t>;

uint16_t Fletcher16(const TBytes& ABytes) {
  unsigned sum1 = 0;
  unsigned sum2 = 0;
  for (uint8_t b : ABytes) {
    sum1 = (sum1 + b) % 255;
    sum2 = (sum2 + sum1) % 255;
  }
  return static_cast<uint16_t>((sum2 << 8) | sum1);
}

std::u16string ToHexText(std::u16string_view APrefix, const TBytes& ABytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(APrefix);
  text.reserve(APrefix.size() + 2 * ABytes.size());
  for (uint8_t b : ABytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

int HexValue(char16_t AChar) {
  if (AChar >= u'0' && AChar <= u'9') return AChar - u'0';
  if (AChar >= u'a' && AChar <= u'f') return AChar - u'a' + 10;
  if (AChar >= u'A' && AChar <= u'F') return AChar - u'A' + 10;
  return -1;
}

// Why a text is not a template, in words for the clients that sent it.
constexpr std::u16string_view kNotATemplate = u"not a simulated sensor template";
constexpr std::u16string_view kNotHexadecimal = u"damaged template: not hexadecimal";
constexpr std::u16string_view kWrongLength = u"damaged template: wrong length";
constexpr std::u16string_view kChecksumMismatch = u"damaged template: checksum mismatch";
constexpr std::u16string_view kVersionMismatch =
    u"damaged template: its version byte does not match its prefix";
constexpr std::u16string_view kOutOfRange = u"damaged template: a value out of range";

std::optional<TBytes> FromHex(std::u16string_view AHex, std::u16string_view& AFault) {
  AFault = kWrongLength;
  if (AHex.size() / 2 > kMaxTemplateBytes) return std::nullopt;
  AFault = kNotHexadecimal;
  if (AHex.size() % 2 != 0) return std::nullopt;
  TBytes bytes;
  bytes.reserve(AHex.size() / 2);
  for (std::size_t i = 0; i < AHex.size(); i += 2) {
    const int high = HexValue(AHex[i]);
    const int low = HexValue(AHex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  AFault = {};
  return bytes;
}

std::size_t EncodedCount(const TFeatureSet& AFeatures) {
  return std::min(AFeatures.Minutiae.size(), kMaxMinutiae);
}

TBytes Bytes9(const TFeatureSet& AFeatures) {
  const std::size_t count = EncodedCount(AFeatures);
  TBytes bytes{static_cast<uint8_t>(count)};
  for (std::size_t i = 0; i < count; ++i) {
    const TSimulatedMinutia& m = AFeatures.Minutiae[i];
    bytes.push_back(m.X);
    bytes.push_back(m.Y);
    bytes.push_back(static_cast<uint8_t>((m.Angle >> 1) | (m.Kind != 0 ? kKindBit9 : 0)));
  }
  return bytes;
}

TBytes Bytes10(const TFeatureSet& AFeatures) {
  const std::size_t count = EncodedCount(AFeatures);
  TBytes bytes{kVersion10, static_cast<uint8_t>(std::clamp(AFeatures.Quality, 0, 100)),
               static_cast<uint8_t>(count)};
  for (std::size_t i = 0; i < count; ++i) {
    const TSimulatedMinutia& m = AFeatures.Minutiae[i];
    bytes.insert(bytes.end(), {m.X, m.Y, m.Angle, static_cast<uint8_t>(m.Kind != 0 ? 1 : 0)});
  }
  const uint16_t checksum = Fletcher16(bytes);
  bytes.push_back(static_cast<uint8_t>(checksum >> 8));
  bytes.push_back(static_cast<uint8_t>(checksum & 0xFF));
  return bytes;
}

std::optional<TFeatureSet> Decode9(const TBytes& ABytes, std::u16string_view& AFault) {
  AFault = kWrongLength;
  if (ABytes.empty()) return std::nullopt;
  const std::size_t count = ABytes[0];
  AFault = kOutOfRange;
  if (count > kMaxMinutiae) return std::nullopt;
  AFault = kWrongLength;
  if (ABytes.size() != 1 + count * kBytesPerMinutia9) return std::nullopt;
  AFault = {};
  TFeatureSet features;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = &ABytes[1 + i * kBytesPerMinutia9];
    features.Minutiae.push_back({p[0], p[1], static_cast<uint8_t>((p[2] & ~kKindBit9) << 1),
                                 static_cast<uint8_t>((p[2] & kKindBit9) != 0 ? 1 : 0)});
  }
  return features;
}

std::optional<TFeatureSet> Decode10(const TBytes& ABytes, std::u16string_view& AFault) {
  AFault = kWrongLength;
  if (ABytes.size() < kHeader10 + kChecksum10) return std::nullopt;
  const std::size_t count = ABytes[2];
  if (ABytes.size() != kHeader10 + count * kBytesPerMinutia10 + kChecksum10) return std::nullopt;
  const TBytes body(ABytes.begin(), ABytes.end() - kChecksum10);
  const uint16_t stored = static_cast<uint16_t>(ABytes[ABytes.size() - 2] << 8 | ABytes.back());
  AFault = kChecksumMismatch;
  if (Fletcher16(body) != stored) return std::nullopt;
  AFault = kVersionMismatch;
  if (ABytes[0] != kVersion10) return std::nullopt;
  AFault = kOutOfRange;
  if (ABytes[1] > 100 || count > kMaxMinutiae) return std::nullopt;
  TFeatureSet features;
  features.Quality = ABytes[1];
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = &ABytes[kHeader10 + i * kBytesPerMinutia10];
    if (p[3] > 1) return std::nullopt;
    features.Minutiae.push_back({p[0], p[1], p[2], p[3]});
  }
  AFault = {};
  return features;
}

}  // namespace

std::optional<TTemplateFormat> TemplateFormatFromVersion(std::u16string_view AVersion) {
  if (AVersion == u"9") return TTemplateFormat::V9;
  if (AVersion == u"10") return TTemplateFormat::V10;
  return std::nullopt;
}

std::u16string TemplateFormatVersion(TTemplateFormat AFormat) {
  return AFormat == TTemplateFormat::V9 ? u"9" : u"10";
}

std::u16string EncodeTemplate(const TFeatureSet& AFeatures, TTemplateFormat AFormat) {
  return AFormat == TTemplateFormat::V9 ? ToHexText(kPrefix9, Bytes9(AFeatures))
                                        : ToHexText(kPrefix10, Bytes10(AFeatures));
}

namespace {

std::optional<TFeatureSet> DecodeTemplate(std::u16string_view AText, std::u16string_view& AFault) {
  if (AText.starts_with(kPrefix9)) {
    const auto bytes = FromHex(AText.substr(kPrefix9.size()), AFault);
    return bytes ? Decode9(*bytes, AFault) : std::nullopt;
  }
  if (AText.starts_with(kPrefix10)) {
    const auto bytes = FromHex(AText.substr(kPrefix10.size()), AFault);
    return bytes ? Decode10(*bytes, AFault) : std::nullopt;
  }
  AFault = kNotATemplate;
  return std::nullopt;
}

}  // namespace

std::optional<TFeatureSet> DecodeTemplate(std::u16string_view AText) {
  std::u16string_view fault;
  return DecodeTemplate(AText, fault);
}

std::u16string_view FingerTemplateFault(std::u16string_view AText) {
  std::u16string_view fault;
  DecodeTemplate(AText, fault);
  return fault;
}
