#include <zlib.h>

#include <array>
#include <cstdlib>

#include "ImageFile.h"

namespace {

constexpr std::string_view kSignature{"\x89PNG\r\n\x1a\n", 8};
// Colour types and their samples per pixel; alpha, where present, is ignored (a sensor image
// has no transparency, and editors often add an opaque alpha channel).
constexpr int kColourGrey = 0;
constexpr int kColourRgb = 2;
constexpr int kColourGreyAlpha = 4;
constexpr int kColourRgbAlpha = 6;

int Channels(int AColour) {
  switch (AColour) {
    case kColourGrey: return 1;
    case kColourRgb: return 3;
    case kColourGreyAlpha: return 2;
    case kColourRgbAlpha: return 4;
    default: throw EImageFile("PNG: palette images are not supported, only greyscale or RGB");
  }
}

uint32_t ReadBigEndian(std::string_view ABytes, size_t APos) {
  return static_cast<uint32_t>(static_cast<uint8_t>(ABytes[APos])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(ABytes[APos + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(ABytes[APos + 2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(ABytes[APos + 3]));
}

void AppendBigEndian(std::string& ABytes, uint32_t AValue) {
  for (int shift = 24; shift >= 0; shift -= 8) ABytes.push_back(static_cast<char>((AValue >> shift) & 0xFF));
}

uint32_t Crc(std::string_view ABytes) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(ABytes.data()),
                                     static_cast<uInt>(ABytes.size())));
}

struct THeader {
  int Width = 0;
  int Height = 0;
  int Channels = 0;
};

THeader ParseHeader(std::string_view AData) {
  if (AData.size() != 13) throw EImageFile("PNG: IHDR has the wrong size");
  const uint32_t width = ReadBigEndian(AData, 0);
  const uint32_t height = ReadBigEndian(AData, 4);
  const int depth = static_cast<uint8_t>(AData[8]);
  const int colour = static_cast<uint8_t>(AData[9]);
  if (width == 0 || height == 0) throw EImageFile("PNG: empty image");
  if (width > kMaxImageSide || height > kMaxImageSide) throw EImageFile("PNG: image too large");
  if (depth != 8) throw EImageFile("PNG: only 8 bits per sample are supported");
  const int channels = Channels(colour);
  if (AData[10] != 0 || AData[11] != 0) throw EImageFile("PNG: unknown compression or filter method");
  if (AData[12] != 0) throw EImageFile("PNG: interlaced PNG is not supported");
  return {static_cast<int>(width), static_cast<int>(height), channels};
}

int Paeth(int ALeft, int AUp, int AUpLeft) {
  const int estimate = ALeft + AUp - AUpLeft;
  const int toLeft = std::abs(estimate - ALeft);
  const int toUp = std::abs(estimate - AUp);
  const int toUpLeft = std::abs(estimate - AUpLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return ALeft;
  return toUp <= toUpLeft ? AUp : AUpLeft;
}

// Reverses the per-row filters in place; ARaw holds a filter byte before every row.
void Unfilter(std::vector<uint8_t>& ARaw, size_t ARowBytes, int AHeight, int APixelBytes) {
  const size_t stride = ARowBytes + 1;
  for (int y = 0; y < AHeight; ++y) {
    uint8_t* row = &ARaw[y * stride + 1];
    const uint8_t* up = y > 0 ? &ARaw[(y - 1) * stride + 1] : nullptr;
    const int filter = ARaw[y * stride];
    if (filter > 4) throw EImageFile("PNG: unknown row filter");
    for (size_t i = 0; i < ARowBytes; ++i) {
      const int left = i >= static_cast<size_t>(APixelBytes) ? row[i - APixelBytes] : 0;
      const int above = up ? up[i] : 0;
      const int upLeft = up && i >= static_cast<size_t>(APixelBytes) ? up[i - APixelBytes] : 0;
      const int predictors[] = {0, left, above, (left + above) / 2, Paeth(left, above, upLeft)};
      row[i] = static_cast<uint8_t>(row[i] + predictors[filter]);
    }
  }
}

}  // namespace

TGreyImage DecodePng(std::string_view ABytes) {
  if (!ABytes.starts_with(kSignature)) throw EImageFile("PNG: no PNG signature");
  size_t pos = kSignature.size();
  THeader header;
  std::string compressed;
  bool ended = false;
  while (!ended) {
    if (ABytes.size() - pos < 12) throw EImageFile("PNG: file is truncated");
    const uint32_t length = ReadBigEndian(ABytes, pos);
    if (length > ABytes.size() - pos - 12) throw EImageFile("PNG: file is truncated");
    const std::string_view typeAndData = ABytes.substr(pos + 4, length + 4);
    if (Crc(typeAndData) != ReadBigEndian(ABytes, pos + 8 + length)) throw EImageFile("PNG: chunk checksum mismatch");
    const std::string_view type = typeAndData.substr(0, 4);
    const std::string_view data = typeAndData.substr(4);
    const bool first = pos == kSignature.size();
    if (first != (type == "IHDR")) throw EImageFile("PNG: IHDR is not the first chunk");
    if (type == "IHDR") header = ParseHeader(data);
    else if (type == "IDAT") compressed.append(data);
    else if (type == "IEND") ended = true;
    pos += 12 + length;
  }
  const size_t rowBytes = static_cast<size_t>(header.Width) * header.Channels;
  const size_t rawBytes = (rowBytes + 1) * header.Height;
  // Deflate packs at most about 1032:1: a small file that claims a huge image is refused
  // before the memory for it is taken.
  if (rawBytes / 1032 > compressed.size() + 1) throw EImageFile("PNG: image data is corrupt or of the wrong size");
  std::vector<uint8_t> raw(rawBytes);
  uLongf rawSize = raw.size();
  const int status = uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(compressed.data()),
                                static_cast<uLong>(compressed.size()));
  if (status != Z_OK || rawSize != raw.size()) throw EImageFile("PNG: image data is corrupt or of the wrong size");
  Unfilter(raw, rowBytes, header.Height, header.Channels);
  TGreyImage image{header.Width, header.Height, std::vector<uint8_t>(static_cast<size_t>(header.Width) * header.Height)};
  for (int y = 0; y < header.Height; ++y) {
    const uint8_t* row = &raw[y * (rowBytes + 1) + 1];
    for (int x = 0; x < header.Width; ++x) {
      const uint8_t* pixel = row + static_cast<size_t>(x) * header.Channels;
      // Integer luma weights (ITU-R BT.601) keep the conversion exact and portable.
      image.Pixels[static_cast<size_t>(y) * header.Width + x] =
          header.Channels < 3 ? pixel[0] : static_cast<uint8_t>((77 * pixel[0] + 150 * pixel[1] + 29 * pixel[2] + 128) >> 8);
    }
  }
  return image;
}

namespace {

void AppendChunk(std::string& APng, std::string_view AType, std::string_view AData) {
  AppendBigEndian(APng, static_cast<uint32_t>(AData.size()));
  const std::string typeAndData = std::string(AType) + std::string(AData);
  APng += typeAndData;
  AppendBigEndian(APng, Crc(typeAndData));
}

}  // namespace

std::string EncodePng(const TGreyImage& AImage) {
  std::string header;
  AppendBigEndian(header, static_cast<uint32_t>(AImage.Width));
  AppendBigEndian(header, static_cast<uint32_t>(AImage.Height));
  header += std::string("\x08\x00\x00\x00\x00", 5);
  std::vector<uint8_t> raw;
  raw.reserve((static_cast<size_t>(AImage.Width) + 1) * AImage.Height);
  for (int y = 0; y < AImage.Height; ++y) {
    raw.push_back(0);  // no filter
    const auto row = AImage.Pixels.begin() + static_cast<std::ptrdiff_t>(y) * AImage.Width;
    raw.insert(raw.end(), row, row + AImage.Width);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
    throw EImageFile("PNG: compression failed");
  }
  packed.resize(packedSize);
  std::string png(kSignature);
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", "");
  return png;
}
