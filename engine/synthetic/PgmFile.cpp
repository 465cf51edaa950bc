#include <cctype>

#include "ImageFile.h"

namespace {

class TPgmHeaderReader {
 public:
  explicit TPgmHeaderReader(std::string_view ABytes) : FBytes(ABytes) {}

  // A decimal field after whitespace and comments.
  int Number(const char* AWhat) {
    SkipSpaceAndComments();
    long value = 0;
    size_t digits = 0;
    while (FPos < FBytes.size() && std::isdigit(static_cast<unsigned char>(FBytes[FPos]))) {
      value = value * 10 + (FBytes[FPos++] - '0');
      if (value > 1000000) throw EImageFile(std::string("PGM: ") + AWhat + " is too large");
      ++digits;
    }
    if (digits == 0) throw EImageFile(std::string("PGM: ") + AWhat + " is missing or not a number");
    return static_cast<int>(value);
  }

  // Exactly one whitespace byte separates the header from the pixels.
  size_t PixelStart() {
    if (FPos >= FBytes.size() || !std::isspace(static_cast<unsigned char>(FBytes[FPos]))) {
      throw EImageFile("PGM: no whitespace after the header");
    }
    return FPos + 1;
  }

 private:
  void SkipSpaceAndComments() {
    while (FPos < FBytes.size()) {
      if (std::isspace(static_cast<unsigned char>(FBytes[FPos]))) {
        ++FPos;
      } else if (FBytes[FPos] == '#') {
        while (FPos < FBytes.size() && FBytes[FPos] != '\n') ++FPos;
      } else {
        break;
      }
    }
  }

  std::string_view FBytes;
  size_t FPos = 2;
};

}  // namespace

TGreyImage DecodePgm(std::string_view ABytes) {
  if (ABytes.starts_with("P2")) throw EImageFile("PGM: plain (text) PGM is not supported, only binary P5");
  if (!ABytes.starts_with("P5")) throw EImageFile("PGM: not a binary PGM (no P5 signature)");
  TPgmHeaderReader header(ABytes);
  const int width = header.Number("width");
  const int height = header.Number("height");
  const int maxValue = header.Number("maximum grey value");
  if (width <= 0 || height <= 0) throw EImageFile("PGM: empty image");
  if (width > kMaxImageSide || height > kMaxImageSide) throw EImageFile("PGM: image too large");
  if (maxValue == 0) throw EImageFile("PGM: maximum grey value is 0");
  if (maxValue > 255) throw EImageFile("PGM: 16-bit PGM is not supported");
  const size_t start = header.PixelStart();
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (ABytes.size() - start < count) throw EImageFile("PGM: pixel data is truncated");
  TGreyImage image{width, height, std::vector<uint8_t>(count)};
  for (size_t i = 0; i < count; ++i) {
    const int value = static_cast<uint8_t>(ABytes[start + i]);
    if (value > maxValue) throw EImageFile("PGM: pixel above the maximum grey value");
    image.Pixels[i] = static_cast<uint8_t>((value * 255 + maxValue / 2) / maxValue);
  }
  return image;
}

std::string EncodePgm(const TGreyImage& AImage) {
  std::string bytes = "P5\n" + std::to_string(AImage.Width) + " " + std::to_string(AImage.Height) + "\n255\n";
  bytes.append(AImage.Pixels.begin(), AImage.Pixels.end());
  return bytes;
}
