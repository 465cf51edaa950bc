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
               "       synthetic-finger impression FINGER_SEED IMPRESSION_SEED OUT.(pgm|png)\n"
               "       synthetic-finger noise SEED OUT.(pgm|png)\n";
  return 2;
}

bool ParseSeed(const char* AText, uint32_t& ASeed) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(AText, &end, 10);
  if (end == AText || *end != '\0' || value > 0xFFFFFFFFul) return false;
  ASeed = static_cast<uint32_t>(value);
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
  } else if (command == "impression" && argc == 5 && ParseSeed(argv[3], second)) {
    image = SyntheticImpression(first, second);
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
