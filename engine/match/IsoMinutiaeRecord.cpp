#include "IsoMinutiaeRecord.h"

#include <algorithm>
#include <cmath>

#include "Angles.h"

namespace {

constexpr std::size_t kRecordHeaderBytes = 24;
constexpr std::size_t kViewHeaderBytes = 4;
constexpr std::size_t kMinutiaBytes = 6;
constexpr std::size_t kExtendedLengthBytes = 2;
constexpr uint32_t kMaxCoordinate = (1u << 14) - 1;

void Put(std::vector<uint8_t>& ABytes, uint32_t AValue, int ACount) {
  for (int shift = 8 * (ACount - 1); shift >= 0; shift -= 8) {
    ABytes.push_back(static_cast<uint8_t>(AValue >> shift));
  }
}

// The pixel the position lies in: inside the sample's frame, as the record wants.
uint32_t Coordinate(float AValue) {
  return static_cast<uint32_t>(std::clamp(std::floor(AValue), 0.0f, float{kMaxCoordinate}));
}

// The templates' directions turn clockwise on the image (y downward); the record's turn
// counter-clockwise.
uint32_t IsoAngle(float ADirection) {
  const float counterClockwise = NormalizeAngle(-ADirection);
  return static_cast<uint32_t>(std::lround(counterClockwise / kTwoPi * 256)) % 256;
}

void PutView(std::vector<uint8_t>& ABytes, const TMinutiaeTemplate& ASample, uint32_t AView) {
  const std::size_t count = std::min(ASample.Minutiae.size(), kMaxTemplateMinutiae);
  Put(ABytes, 0, 1);           // finger position: unknown
  Put(ABytes, AView << 4, 1);  // impression type 0: live-scan plain
  Put(ABytes, static_cast<uint32_t>(std::clamp(ASample.Quality, 0, 100)), 1);
  Put(ABytes, static_cast<uint32_t>(count), 1);
  for (std::size_t i = 0; i < count; ++i) {
    const TMinutia& minutia = ASample.Minutiae[i];
    Put(ABytes, Coordinate(minutia.X), 2);  // type bits 0: other
    Put(ABytes, Coordinate(minutia.Y), 2);
    Put(ABytes, IsoAngle(minutia.Direction), 1);
    Put(ABytes, 0, 1);
  }
  Put(ABytes, 0, 2);
}

}  // namespace

std::vector<uint8_t> IsoMinutiaeRecord(std::span<const TMinutiaeTemplate> ASamples) {
  std::size_t length = kRecordHeaderBytes;
  int32_t width = 0, height = 0;
  for (const TMinutiaeTemplate& sample : ASamples) {
    length += kViewHeaderBytes + kExtendedLengthBytes +
              kMinutiaBytes * std::min(sample.Minutiae.size(), kMaxTemplateMinutiae);
    width = std::max(width, sample.Width);
    height = std::max(height, sample.Height);
  }
  std::vector<uint8_t> bytes = {'F', 'M', 'R', 0, ' ', '2', '0', 0};
  bytes.reserve(length);
  Put(bytes, static_cast<uint32_t>(length), 4);
  Put(bytes, 0, 2);  // capture equipment: no certification, device type not given
  Put(bytes, static_cast<uint32_t>(width), 2);
  Put(bytes, static_cast<uint32_t>(height), 2);
  Put(bytes, kIsoPixelsPerCentimetre, 2);
  Put(bytes, kIsoPixelsPerCentimetre, 2);
  Put(bytes, static_cast<uint32_t>(ASamples.size()), 1);
  Put(bytes, 0, 1);
  for (std::size_t view = 0; view < ASamples.size(); ++view) {
    PutView(bytes, ASamples[view], static_cast<uint32_t>(view));
  }
  return bytes;
}
