#include "MinutiaeTemplate.h"

#include <algorithm>
#include <cmath>

#include "Angles.h"
#include "ByteText.h"

namespace {

struct TFormatLayout {
  int Version;
  std::u16string_view Prefix;
  int PositionScale;   // fixed-point steps per pixel
  int DirectionBytes;  // 1: 256 steps, 2: 65536 steps of the full turn
  bool Sampled;        // several presses, each with its own header
};

constexpr TFormatLayout kFormat9{9, u"TSF9:", 1, 1, false};
constexpr TFormatLayout kFormat10{10, u"TSF10:", 8, 2, false};
constexpr TFormatLayout kSampled9{109, u"TSF9S:", 1, 1, true};
constexpr TFormatLayout kSampled10{110, u"TSF10S:", 8, 2, true};
constexpr TFormatLayout const* kLayouts[] = {&kFormat9, &kFormat10, &kSampled9, &kSampled10};
constexpr std::size_t kSampleHeaderBytes = 6;  // width, height, quality, count
constexpr std::size_t kChecksumBytes = 4;

std::size_t MinutiaBytes(const TFormatLayout& ALayout) {
  return 4 + static_cast<std::size_t>(ALayout.DirectionBytes);
}

void PutBigEndian(std::vector<uint8_t>& ABytes, uint32_t AValue, int ACount) {
  for (int shift = 8 * (ACount - 1); shift >= 0; shift -= 8) {
    ABytes.push_back(static_cast<uint8_t>(AValue >> shift));
  }
}

uint32_t GetBigEndian(std::span<const uint8_t> ABytes, std::size_t& AOffset, int ACount) {
  uint32_t value = 0;
  for (int i = 0; i < ACount; ++i) value = value << 8 | ABytes[AOffset++];
  return value;
}

uint32_t FixedPosition(float AValue, int32_t ASide, int AScale) {
  const long limit = static_cast<long>(ASide) * AScale - 1;
  return static_cast<uint32_t>(std::clamp(std::lround(AValue * AScale), 0L, limit));
}

uint32_t FixedDirection(float ADirection, int ABytes) {
  const uint32_t steps = 1u << (8 * ABytes);
  return static_cast<uint32_t>(std::lround(NormalizeAngle(ADirection) / kTwoPi * steps)) % steps;
}

void PutSample(std::vector<uint8_t>& ABytes, const TMinutiaeTemplate& ATemplate,
               const TFormatLayout& ALayout) {
  const int32_t width = std::clamp(ATemplate.Width, 1, kMaxTemplateSide);
  const int32_t height = std::clamp(ATemplate.Height, 1, kMaxTemplateSide);
  const std::size_t count = std::min(ATemplate.Minutiae.size(), kMaxTemplateMinutiae);
  PutBigEndian(ABytes, static_cast<uint32_t>(width), 2);
  PutBigEndian(ABytes, static_cast<uint32_t>(height), 2);
  PutBigEndian(ABytes, static_cast<uint32_t>(std::clamp(ATemplate.Quality, 0, 100)), 1);
  PutBigEndian(ABytes, static_cast<uint32_t>(count), 1);
  for (std::size_t i = 0; i < count; ++i) {
    const TMinutia& minutia = ATemplate.Minutiae[i];
    PutBigEndian(ABytes, FixedPosition(minutia.X, width, ALayout.PositionScale), 2);
    PutBigEndian(ABytes, FixedPosition(minutia.Y, height, ALayout.PositionScale), 2);
    PutBigEndian(ABytes, FixedDirection(minutia.Direction, ALayout.DirectionBytes),
                 ALayout.DirectionBytes);
  }
}

// Why a text is not a template, in words for the clients that sent it.
constexpr std::u16string_view kNotATemplate = u"not a fingerprint reader template";
constexpr std::u16string_view kNotHexadecimal = u"damaged template: not lowercase hexadecimal";
constexpr std::u16string_view kWrongLength = u"damaged template: wrong length";
constexpr std::u16string_view kChecksumMismatch = u"damaged template: checksum mismatch";
constexpr std::u16string_view kVersionMismatch =
    u"damaged template: its version byte does not match its prefix";
constexpr std::u16string_view kOutOfRange = u"damaged template: a value out of range";

// One sample from AOffset on, which it moves past the sample; nothing, with AFault set, when the
// sample does not fit the bytes left or holds a value out of range.
std::optional<TMinutiaeTemplate> GetSample(std::span<const uint8_t> ABytes, std::size_t& AOffset,
                                           const TFormatLayout& ALayout,
                                           std::u16string_view& AFault) {
  AFault = kWrongLength;
  if (ABytes.size() - AOffset < kSampleHeaderBytes) return std::nullopt;
  TMinutiaeTemplate result;
  result.Width = static_cast<int32_t>(GetBigEndian(ABytes, AOffset, 2));
  result.Height = static_cast<int32_t>(GetBigEndian(ABytes, AOffset, 2));
  result.Quality = static_cast<int32_t>(GetBigEndian(ABytes, AOffset, 1));
  const std::size_t count = GetBigEndian(ABytes, AOffset, 1);
  if (ABytes.size() - AOffset < count * MinutiaBytes(ALayout)) return std::nullopt;
  AFault = kOutOfRange;
  if (result.Width < 1 || result.Width > kMaxTemplateSide || result.Height < 1 ||
      result.Height > kMaxTemplateSide || result.Quality > 100) {
    return std::nullopt;
  }
  const float directionStep = kTwoPi / static_cast<float>(1u << (8 * ALayout.DirectionBytes));
  const auto scale = static_cast<uint32_t>(ALayout.PositionScale);
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t x = GetBigEndian(ABytes, AOffset, 2);
    const uint32_t y = GetBigEndian(ABytes, AOffset, 2);
    const uint32_t direction = GetBigEndian(ABytes, AOffset, ALayout.DirectionBytes);
    if (x >= static_cast<uint32_t>(result.Width) * scale ||
        y >= static_cast<uint32_t>(result.Height) * scale) {
      return std::nullopt;
    }
    result.Minutiae.push_back({static_cast<float>(x) / static_cast<float>(scale),
                               static_cast<float>(y) / static_cast<float>(scale),
                               static_cast<float>(direction) * directionStep});
  }
  AFault = {};
  return result;
}

std::optional<std::vector<TMinutiaeTemplate>> DecodeBytes(const std::vector<uint8_t>& ABytes,
                                                          const TFormatLayout& ALayout,
                                                          std::u16string_view& AFault) {
  AFault = kWrongLength;
  if (ABytes.size() < 2 + kChecksumBytes) return std::nullopt;
  const auto body = std::span(ABytes).first(ABytes.size() - kChecksumBytes);
  std::size_t offset = body.size();
  AFault = kChecksumMismatch;
  if (GetBigEndian(ABytes, offset, 4) != Crc32(body)) return std::nullopt;
  offset = 0;
  AFault = kVersionMismatch;
  if (GetBigEndian(body, offset, 1) != static_cast<uint32_t>(ALayout.Version)) return std::nullopt;
  const std::size_t samples = ALayout.Sampled ? GetBigEndian(body, offset, 1) : 1;
  AFault = kOutOfRange;
  if (samples < 1 || samples > kMaxTemplateSamples) return std::nullopt;
  std::vector<TMinutiaeTemplate> result;
  for (std::size_t i = 0; i < samples; ++i) {
    auto sample = GetSample(body, offset, ALayout, AFault);
    if (!sample) return std::nullopt;
    result.push_back(std::move(*sample));
  }
  AFault = kWrongLength;
  if (offset != body.size()) return std::nullopt;
  AFault = {};
  return result;
}

std::optional<std::vector<TMinutiaeTemplate>> DecodeText(std::u16string_view AText,
                                                         const TFormatLayout*& ALayout,
                                                         std::u16string_view& AFault) {
  for (const TFormatLayout* layout : kLayouts) {
    if (!AText.starts_with(layout->Prefix)) continue;
    ALayout = layout;
    const auto bytes = HexToBytes(AText.substr(layout->Prefix.size()));
    if (bytes) return DecodeBytes(*bytes, *layout, AFault);
    AFault = kNotHexadecimal;
    return std::nullopt;
  }
  AFault = kNotATemplate;
  return std::nullopt;
}

std::u16string EncodeText(std::span<const TMinutiaeTemplate> ASamples,
                          const TFormatLayout& ALayout) {
  std::vector<uint8_t> bytes;
  PutBigEndian(bytes, static_cast<uint32_t>(ALayout.Version), 1);
  if (ALayout.Sampled) PutBigEndian(bytes, static_cast<uint32_t>(ASamples.size()), 1);
  for (const TMinutiaeTemplate& sample : ASamples) PutSample(bytes, sample, ALayout);
  PutBigEndian(bytes, Crc32(bytes), 4);
  return std::u16string(ALayout.Prefix) + BytesToHex(bytes);
}

}  // namespace

std::u16string EncodeMinutiaeTemplate(const TMinutiaeTemplate& ATemplate, int AFormat) {
  return EncodeText(std::span(&ATemplate, 1), AFormat == 9 ? kFormat9 : kFormat10);
}

std::optional<TMinutiaeTemplate> DecodeMinutiaeTemplate(std::u16string_view AText) {
  const TFormatLayout* layout = nullptr;
  std::u16string_view fault;
  auto samples = DecodeText(AText, layout, fault);
  if (!samples || layout->Sampled) return std::nullopt;
  return std::move(samples->front());
}

std::u16string EncodeTemplateSamples(std::span<const TMinutiaeTemplate> ASamples, int AFormat) {
  return EncodeText(ASamples.first(std::min(ASamples.size(), kMaxTemplateSamples)),
                    AFormat == 9 ? kSampled9 : kSampled10);
}

std::optional<std::vector<TMinutiaeTemplate>> DecodeTemplateSamples(std::u16string_view AText) {
  const TFormatLayout* layout = nullptr;
  std::u16string_view fault;
  return DecodeText(AText, layout, fault);
}

std::u16string_view TemplateSamplesFault(std::u16string_view AText) {
  const TFormatLayout* layout = nullptr;
  std::u16string_view fault;
  DecodeText(AText, layout, fault);
  return fault;
}
