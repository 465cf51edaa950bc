#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ImageFile.h"

namespace {

TGreyImage Gradient(int AWidth, int AHeight) {
  TGreyImage image{AWidth, AHeight, {}};
  for (int y = 0; y < AHeight; ++y) {
    for (int x = 0; x < AWidth; ++x) image.Pixels.push_back(static_cast<uint8_t>((x * 37 + y * 11 + x * y) & 0xFF));
  }
  return image;
}

std::string BigEndian(uint32_t AValue) {
  return {static_cast<char>(AValue >> 24), static_cast<char>(AValue >> 16), static_cast<char>(AValue >> 8),
          static_cast<char>(AValue)};
}

std::string Chunk(const std::string& AType, const std::string& AData) {
  const std::string body = AType + AData;
  return BigEndian(static_cast<uint32_t>(AData.size())) + body +
         BigEndian(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string Header(int AWidth, int AHeight, int ADepth, int AColour, int AInterlace = 0) {
  return Chunk("IHDR", BigEndian(AWidth) + BigEndian(AHeight) +
                           std::string{static_cast<char>(ADepth), static_cast<char>(AColour), 0, 0, static_cast<char>(AInterlace)});
}

std::string Deflate(const std::string& ARaw) {
  uLongf size = compressBound(static_cast<uLong>(ARaw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(ARaw.data()), static_cast<uLong>(ARaw.size()));
  packed.resize(size);
  return packed;
}

const std::string kSignature{"\x89PNG\r\n\x1a\n", 8};

int PaethPredictor(int ALeft, int AUp, int AUpLeft) {
  const int p = ALeft + AUp - AUpLeft;
  const int pa = std::abs(p - ALeft), pb = std::abs(p - AUp), pc = std::abs(p - AUpLeft);
  return pa <= pb && pa <= pc ? ALeft : (pb <= pc ? AUp : AUpLeft);
}

// A PNG of AChannels-sample pixels whose rows use row filter AFilter (1 to 4 cycle through
// all filters), built the way other encoders do.
std::string FilteredPng(const std::vector<uint8_t>& ASamples, int AWidth, int AHeight, int AChannels, int AFilter) {
  const int rowBytes = AWidth * AChannels;
  std::string raw;
  for (int y = 0; y < AHeight; ++y) {
    const int filter = AFilter < 0 ? y % 5 : AFilter;
    raw.push_back(static_cast<char>(filter));
    for (int i = 0; i < rowBytes; ++i) {
      const int value = ASamples[y * rowBytes + i];
      const int left = i >= AChannels ? ASamples[y * rowBytes + i - AChannels] : 0;
      const int up = y > 0 ? ASamples[(y - 1) * rowBytes + i] : 0;
      const int upLeft = y > 0 && i >= AChannels ? ASamples[(y - 1) * rowBytes + i - AChannels] : 0;
      const int predictions[] = {0, left, up, (left + up) / 2, PaethPredictor(left, up, upLeft)};
      raw.push_back(static_cast<char>((value - predictions[filter]) & 0xFF));
    }
  }
  constexpr int kColourTypes[] = {0, 0, 4, 2, 6};  // by samples per pixel
  return kSignature + Header(AWidth, AHeight, 8, kColourTypes[AChannels]) + Chunk("IDAT", Deflate(raw)) + Chunk("IEND", "");
}

TEST(ImageFile, PgmAndPngRoundTripExactly) {
  const TGreyImage image = Gradient(23, 17);
  EXPECT_EQ(DecodePgm(EncodePgm(image)).Pixels, image.Pixels);
  const TGreyImage png = DecodePng(EncodePng(image));
  EXPECT_EQ(png.Width, 23);
  EXPECT_EQ(png.Height, 17);
  EXPECT_EQ(png.Pixels, image.Pixels);
}

TEST(ImageFile, PngRowFiltersOfOtherEncodersAreUndone) {
  const TGreyImage image = Gradient(9, 10);
  for (const int filter : {0, 1, 2, 3, 4, -1}) {
    SCOPED_TRACE(filter);
    EXPECT_EQ(DecodePng(FilteredPng(image.Pixels, 9, 10, 1, filter)).Pixels, image.Pixels);
  }
}

TEST(ImageFile, RgbPngBecomesLuma) {
  // Pure red, green, blue, white, black and a mid grey.
  const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 100, 100, 100};
  const TGreyImage image = DecodePng(FilteredPng(rgb, 3, 2, 3, -1));
  EXPECT_EQ(image.Pixels, (std::vector<uint8_t>{77, 149, 29, 255, 0, 100}));
}

// Ancillary chunks, and a suggested palette in a true-colour image, are allowed and skipped.
TEST(ImageFile, OtherChunksAreSkipped) {
  const std::string rgb = FilteredPng({1, 2, 3}, 1, 1, 3, 0);
  const size_t afterHeader = kSignature.size() + 25;
  const std::string withChunks = rgb.substr(0, afterHeader) + Chunk("PLTE", std::string(3, '\x40')) +
                                 Chunk("tEXt", std::string("Comment\0hand made", 17)) + rgb.substr(afterHeader);
  EXPECT_EQ(DecodePng(withChunks).Pixels, DecodePng(rgb).Pixels);
}

TEST(ImageFile, AlphaIsIgnored) {
  const std::vector<uint8_t> greyAlpha = {10, 255, 200, 0, 90, 128};
  EXPECT_EQ(DecodePng(FilteredPng(greyAlpha, 3, 1, 2, -1)).Pixels, (std::vector<uint8_t>{10, 200, 90}));
  const std::vector<uint8_t> rgbAlpha = {255, 0, 0, 255, 0, 255, 0, 0, 100, 100, 100, 7, 0, 0, 255, 255};
  EXPECT_EQ(DecodePng(FilteredPng(rgbAlpha, 2, 2, 4, -1)).Pixels, (std::vector<uint8_t>{77, 149, 100, 29}));
}

TEST(ImageFile, PgmHeaderCommentsAndSmallerMaximumAreRead) {
  const TGreyImage image = DecodePgm(std::string("P5\n# made by hand\n2 # width\n1\n15\n") + std::string{0x00, 0x0f});
  EXPECT_EQ(image.Pixels, (std::vector<uint8_t>{0, 255}));
}

struct TMalformed {
  const char* Name;
  std::string Bytes;
  const char* Error;
};

template <size_t N>
void ExpectAllRejected(const TMalformed (&ACases)[N], TGreyImage (*ADecode)(std::string_view)) {
  for (const TMalformed& malformed : ACases) {
    SCOPED_TRACE(malformed.Name);
    try {
      ADecode(malformed.Bytes);
      ADD_FAILURE() << "accepted";
    } catch (const EImageFile& error) {
      EXPECT_NE(std::string(error.what()).find(malformed.Error), std::string::npos) << error.what();
    }
  }
}

TEST(ImageFile, MalformedPgmIsRejectedWithTheReason) {
  const TMalformed cases[] = {
      {"empty", "", "no P5 signature"},
      {"colour", "P6\n1 1\n255\nabc", "no P5 signature"},
      {"plain", "P2\n1 1\n255\n7\n", "plain (text) PGM"},
      {"no width", "P5\n \n", "width is missing"},
      {"letters", "P5\nx 1\n255\n", "width is missing"},
      {"zero size", "P5\n0 4\n255\n", "empty image"},
      {"huge", "P5\n999999 999999\n255\n", "too large"},
      {"16 bit", "P5\n1 1\n65535\nab", "16-bit"},
      {"zero maximum", "P5\n1 1\n0\n\x00", "maximum grey value is 0"},
      {"no separator", "P5\n1 1\n255", "no whitespace after the header"},
      {"truncated", "P5\n4 4\n255\nabc", "truncated"},
      {"above maximum", "P5\n1 1\n15\n\x10", "above the maximum"},
  };
  ExpectAllRejected(cases, DecodePgm);
}

TEST(ImageFile, MalformedPngIsRejectedWithTheReason) {
  const std::string good = EncodePng(Gradient(4, 3));
  std::string badCrc = good;
  badCrc[kSignature.size() + 20] ^= 1;
  const std::string end = Chunk("IEND", "");
  const std::string data = Chunk("IDAT", Deflate(std::string(4 * 5, '\0')));
  const TMalformed cases[] = {
      {"empty", "", "no PNG signature"},
      {"jpeg", "\xff\xd8\xff\xe0", "no PNG signature"},
      {"signature only", kSignature, "truncated"},
      {"cut short", good.substr(0, good.size() - 5), "truncated"},
      {"checksum", badCrc, "checksum mismatch"},
      {"data before header", kSignature + data + Header(4, 4, 8, 0) + end, "IHDR is not the first"},
      {"short header", kSignature + Chunk("IHDR", "abc") + end, "IHDR has the wrong size"},
      {"zero width", kSignature + Header(0, 4, 8, 0) + end, "empty image"},
      {"huge", kSignature + Header(100000, 4, 8, 0) + end, "too large"},
      {"16 bit", kSignature + Header(4, 4, 16, 0) + end, "8 bits"},
      {"palette", kSignature + Header(4, 4, 8, 3) + end, "palette images are not supported"},
      {"unknown colour type", kSignature + Header(4, 4, 8, 5) + end, "only greyscale or RGB"},
      {"interlaced", kSignature + Header(4, 4, 8, 0, 1) + end, "interlaced"},
      {"no data", kSignature + Header(4, 4, 8, 0) + end, "corrupt or of the wrong size"},
      {"too little data", kSignature + Header(4, 5, 8, 0) + Chunk("IDAT", Deflate(std::string(5, '\0'))) + end, "corrupt or of the wrong size"},
      {"huge image from a small file", kSignature + Header(16000, 16000, 8, 6) + data + end, "corrupt or of the wrong size"},
      {"not zlib", kSignature + Header(4, 4, 8, 0) + Chunk("IDAT", "garbage") + end, "corrupt or of the wrong size"},
      {"bad filter", kSignature + Header(4, 4, 8, 0) + Chunk("IDAT", Deflate(std::string(1, '\x07') + std::string(19, '\0'))) + end, "unknown row filter"},
  };
  ExpectAllRejected(cases, DecodePng);
}

TEST(ImageFile, FilesAreWrittenInTheFormatOfTheirNameAndReadBack) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("synthetic-image-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const TGreyImage image = Gradient(31, 7);
  for (const char* name : {"a.pgm", "b.png"}) {
    SCOPED_TRACE(name);
    const std::string path = (folder / name).string();
    WriteImageFile(path, image);
    std::ifstream file(path, std::ios::binary);
    std::string start(4, '\0');
    file.read(start.data(), 4);
    EXPECT_EQ(start.substr(1, 1) == "P", std::string(name).ends_with(".png"));
    EXPECT_EQ(ReadImageFile(path).Pixels, image.Pixels);
  }
  std::filesystem::remove_all(folder);
}

// Each failure names the file and the reason, in the words of the system or of the format.
TEST(ImageFile, FilesThatCannotBeReadAreNamedWithTheReason) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("image-file-errors-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder / "folder.png");
  const std::string at = folder.string() + "/";
  const struct {
    const char* Name;
    const char* Content;  // null: no such file is written
    std::string Error;
  } cases[] = {
      {"missing.png", nullptr, "cannot open " + at + "missing.png: No such file or directory"},
      {"folder.png", nullptr, "cannot read " + at + "folder.png: Is a directory"},
      {"text.png", "hello\n", at + "text.png: not a PNG or PGM image"},
      {"empty.pgm", "", at + "empty.pgm: not a PNG or PGM image"},
      {"colour.ppm", "P6\n1 1\n255\nabc", at + "colour.ppm: not a PNG or PGM image"},
      {"plain.pgm", "P2\n1 1\n255\n7\n",
       at + "plain.pgm: PGM: plain (text) PGM is not supported, only binary P5"},
      {"cut.png", "\x89PNG\r\n\x1a\n", at + "cut.png: PNG: file is truncated"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Content) std::ofstream(at + c.Name, std::ios::binary) << c.Content;
    try {
      ReadImageFile(at + c.Name);
      ADD_FAILURE() << "accepted";
    } catch (const EImageFile& error) {
      EXPECT_EQ(error.what(), c.Error);
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
