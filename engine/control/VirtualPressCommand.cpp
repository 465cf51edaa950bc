#include "VirtualPressCommand.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <string>

#include "ImageFile.h"
#include "SyntheticFinger.h"
#include "VirtualImageDevice.h"

namespace {

std::optional<uint32_t> Seed(std::string_view AWord) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(AWord.data(), AWord.data() + AWord.size(), value);
  if (error != std::errc() || end != AWord.data() + AWord.size()) return std::nullopt;
  return value;
}

std::optional<TGreyImage> ImageOf(std::span<const std::string_view> AWords) {
  if (AWords[0] == "press" && AWords.size() == 2) return ReadImageFile(std::string(AWords[1]));
  if (AWords[0] == "press-synthetic" && (AWords.size() == 2 || AWords.size() == 3)) {
    const auto finger = Seed(AWords[1]);
    const auto impression = AWords.size() == 3 ? Seed(AWords[2]) : std::optional<uint32_t>(1);
    if (finger && impression) return SyntheticImpression(*finger, *impression);
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> RunVirtualPressCommand(std::span<const std::string_view> AWords) {
  if (AWords.empty() || (AWords[0] != "press" && AWords[0] != "press-synthetic")) {
    return std::nullopt;
  }
  const std::string socketPath = DefaultVirtualImageSocketPath();
  try {
    const std::optional<TGreyImage> image = ImageOf(AWords);
    if (!image) {
      std::cerr << "tessiva-sensor: usage: press FILE | press-synthetic FINGER [IMPRESSION]\n";
      return 2;
    }
    TVirtualImageDevice(socketPath).Press(*image);
  } catch (const EImageFile& error) {
    std::cerr << "tessiva-sensor: " << error.what() << '\n';
    return 1;
  } catch (const EVirtualImageDevice& error) {
    std::cerr << "tessiva-sensor: " << error.what()
              << " (is Tessiva running with the virtual reader, make run SENSOR=virtual, and "
                 "initialised?)\n";
    return 2;
  }
  std::cout << "ok\n";
  return 0;
}
