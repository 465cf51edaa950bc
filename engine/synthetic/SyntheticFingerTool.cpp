// synthetic-finger: writes a generated master print or impression as PGM or PNG (by extension).

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "ImageFile.h"
#include "SyntheticFinger.h"

namespace {

int Usage() {
  std::cerr << "usage: synthetic-finger master FINGER_SEED OUT.(pgm|png)\n"
               "       synthetic-finger impression FINGER_SEED IMPRESSION_SEED [OPTION VALUE]... OUT.(pgm|png)\n"
               "       synthetic-finger noise SEED OUT.(pgm|png)\n"
               "impression options (defaults in brackets):\n"
               "  --rotation DEGREES [30]  --shift PIXELS [40]  --scale SHARE [0.03]\n"
               "  --distortion STRENGTH [1]  --pressure STRENGTH [1]  --noise STRENGTH [1]\n"
               "  --contact MIN_SHARE [0.5]  --max-contact MAX_SHARE [1]\n";
  return 2;
}

bool ParseSeed(const char* AText, uint32_t& ASeed) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(AText, &end, 10);
  if (end == AText || *end != '\0' || value > 0xFFFFFFFFul) return false;
  ASeed = static_cast<uint32_t>(value);
  return true;
}

// One "--name value" pair into the options it names.
bool ParseOption(std::string_view AName, const char* AText, TImpressionOptions& AOptions) {
  char* end = nullptr;
  const double value = std::strtod(AText, &end);
  if (end == AText || *end != '\0' || value < 0) return false;
  if (AName == "--rotation") AOptions.MaxRotationDegrees = value;
  else if (AName == "--shift") AOptions.MaxShiftPixels = value;
  else if (AName == "--scale") AOptions.MaxScaleChange = value;
  else if (AName == "--distortion") AOptions.Distortion = value;
  else if (AName == "--pressure") AOptions.Pressure = value;
  else if (AName == "--noise") AOptions.Noise = value;
  else if (AName == "--contact") AOptions.MinContact = value;
  else if (AName == "--max-contact") AOptions.MaxContact = value;
  else return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string_view command = argv[1];
  uint32_t first = 0;
  uint32_t second = 0;
  if (!ParseSeed(argv[2], first)) return Usage();
  TGreyImage image;
  if (command == "master" && argc == 4) {
    image = SyntheticMasterFinger(first);
  } else if (command == "impression" && argc >= 5 && argc % 2 == 1 && ParseSeed(argv[3], second)) {
    TImpressionOptions options;
    for (int i = 4; i + 1 < argc - 1; i += 2) {
      if (!ParseOption(argv[i], argv[i + 1], options)) return Usage();
    }
    image = SyntheticImpression(first, second, options);
  } else if (command == "noise" && argc == 4) {
    image = SyntheticNoiseImage(first, kSyntheticWidth, kSyntheticHeight);
  } else {
    return Usage();
  }
  try {
    WriteImageFile(argv[argc - 1], image);
  } catch (const EImageFile& error) {
    std::cerr << "synthetic-finger: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
