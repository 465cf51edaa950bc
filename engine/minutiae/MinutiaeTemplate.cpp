#include "MinutiaeTemplate.h"

#include <algorithm>
#include <cmath>

#include "Angles.h"
#include "ByteText.h"

namespace {

struct TFormatLayout {
  int Version;
  std::u16string_view Prefix;
  int PositionScale;    // fixed-point steps per pixel
  int DirectionBytes;   // 1: 256 steps, 2: 65536 steps of the full turn
};

constexpr TFormatLayout kFormat9{9, u"TSF9:", 1, 1};
constexpr TFormatLayout kFormat10{10, u"TSF10:", 8, 2};
constexpr std::size_t kHeaderBytes = 7;
constexpr std::size_t kChecksumBytes = 4;

std::size_t MinutiaBytes(const TFormatLayout& ALayout) {
  return 4 + static_cast<std::size_t>(ALayout.DirectionBytes);
}

void PutBigEndian(std::vector<uint8_t>& ABytes, uint32_t AValue, int ACount) {
  for (int shift = 8 * (ACount - 1); shift >= 0; shift -= 8) {
    ABytes.push_back(static_cast<uint8_t>(AValue >> shift));
  }
}

uint32_t GetBigEndian(const std::vector<uint8_t>& ABytes, std::size_t& AOffset, int ACount) {
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

std::optional<TMinutiaeTemplate> DecodeBytes(const std::vector<uint8_t>& ABytes,
                                             const TFormatLayout& ALayout) {
  if (ABytes.size() < kHeaderBytes + kChecksumBytes) return std::nullopt;
  const std::size_t count = ABytes[6];
  if (ABytes.size() != kHeaderBytes + count * MinutiaBytes(ALayout) + kChecksumBytes) {
    return std::nullopt;
  }
  std::size_t offset = ABytes.size() - kChecksumBytes;
  const uint32_t checksum = GetBigEndian(ABytes, offset, 4);
  if (checksum != Crc32(std::span(ABytes).first(ABytes.size() - kChecksumBytes))) {
    return std::nullopt;
  }
  offset = 0;
  TMinutiaeTemplate result;
  const uint32_t version = GetBigEndian(ABytes, offset, 1);
  result.Width = static_cast<int32_t>(GetBigEndian(ABytes, offset, 2));
  result.Height = static_cast<int32_t>(GetBigEndian(ABytes, offset, 2));
  result.Quality = static_cast<int32_t>(GetBigEndian(ABytes, offset, 1));
  ++offset;  // count, read above
  if (version != static_cast<uint32_t>(ALayout.Version) || result.Width < 1 ||
      result.Width > kMaxTemplateSide || result.Height < 1 || result.Height > kMaxTemplateSide ||
      result.Quality > 100) {
    return std::nullopt;
  }
  const float directionStep = kTwoPi / static_cast<float>(1u << (8 * ALayout.DirectionBytes));
  const auto scale = static_cast<uint32_t>(ALayout.PositionScale);
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t x = GetBigEndian(ABytes, offset, 2);
    const uint32_t y = GetBigEndian(ABytes, offset, 2);
    const uint32_t direction = GetBigEndian(ABytes, offset, ALayout.DirectionBytes);
    if (x >= static_cast<uint32_t>(result.Width) * scale ||
        y >= static_cast<uint32_t>(result.Height) * scale) {
      return std::nullopt;
    }
    result.Minutiae.push_back({static_cast<float>(x) / static_cast<float>(scale),
                               static_cast<float>(y) / static_cast<float>(scale),
                               static_cast<float>(direction) * directionStep});
  }
  return result;
}

}  // namespace

std::u16string EncodeMinutiaeTemplate(const TMinutiaeTemplate& ATemplate, int AFormat) {
  const TFormatLayout& layout = AFormat == 9 ? kFormat9 : kFormat10;
  const int32_t width = std::clamp(ATemplate.Width, 1, kMaxTemplateSide);
  const int32_t height = std::clamp(ATemplate.Height, 1, kMaxTemplateSide);
  const std::size_t count = std::min(ATemplate.Minutiae.size(), kMaxTemplateMinutiae);
  std::vector<uint8_t> bytes;
  bytes.reserve(kHeaderBytes + count * MinutiaBytes(layout) + kChecksumBytes);
  PutBigEndian(bytes, static_cast<uint32_t>(layout.Version), 1);
  PutBigEndian(bytes, static_cast<uint32_t>(width), 2);
  PutBigEndian(bytes, static_cast<uint32_t>(height), 2);
  PutBigEndian(bytes, static_cast<uint32_t>(std::clamp(ATemplate.Quality, 0, 100)), 1);
  PutBigEndian(bytes, static_cast<uint32_t>(count), 1);
  for (std::size_t i = 0; i < count; ++i) {
    const TMinutia& minutia = ATemplate.Minutiae[i];
    PutBigEndian(bytes, FixedPosition(minutia.X, width, layout.PositionScale), 2);
    PutBigEndian(bytes, FixedPosition(minutia.Y, height, layout.PositionScale), 2);
    PutBigEndian(bytes, FixedDirection(minutia.Direction, layout.DirectionBytes),
                 layout.DirectionBytes);
  }
  PutBigEndian(bytes, Crc32(bytes), 4);
  return std::u16string(layout.Prefix) + BytesToHex(bytes);
}

std::optional<TMinutiaeTemplate> DecodeMinutiaeTemplate(std::u16string_view AText) {
  for (const TFormatLayout* layout : {&kFormat9, &kFormat10}) {
    if (!AText.starts_with(layout->Prefix)) continue;
    const auto bytes = HexToBytes(AText.substr(layout->Prefix.size()));
    return bytes ? DecodeBytes(*bytes, *layout) : std::nullopt;
  }
  return std::nullopt;
}
