#include "VirtualPressCommand.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>

#include "BridgeScanListener.h"
#include "ImageFile.h"
#include "SyntheticFinger.h"
#include "VirtualImageDevice.h"

namespace {

constexpr std::chrono::seconds kHandshakeTimeout{2};
// The reader engine analyses a press in well under a second, but ten times slower in a build with
// sanitizers on a loaded machine; the wait only runs out when no report comes at all.
constexpr std::chrono::seconds kReportTimeout{30};

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

// What the bridge said of the press, or why that is unknown.
std::string PressReport(std::optional<TBridgeScanListener>& AListener, std::string AWhy) {
  if (AListener) {
    if (const std::optional<std::string> line =
            AListener->NextScanMessage(std::chrono::steady_clock::now() + kReportTimeout)) {
      // Outside an enrolment the line starts with a blank.
      return line->substr(std::min(line->find_first_not_of(' '), line->size()));
    }
    AWhy = "no Finger Scan Info within " + std::to_string(kReportTimeout.count()) +
           " s (is it initialised?)";
  }
  return "pressed; what Tessiva made of it is unknown: " + AWhy;
}

}  // namespace

std::optional<int> RunVirtualPressCommand(std::span<const std::string_view> AWords,
                                          uint16_t ABridgePort) {
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
    // Listening before the press, whose report may follow at once.
    std::optional<TBridgeScanListener> listener;
    std::string unknownWhy;
    try {
      listener.emplace(ABridgePort, kHandshakeTimeout);
    } catch (const EBridgeUnreachable& error) {
      unknownWhy = error.what();
    }
    TVirtualImageDevice(socketPath).Press(*image);
    std::cout << "ok " << PressReport(listener, unknownWhy) << '\n';
    return 0;
  } catch (const EImageFile& error) {
    std::cerr << "tessiva-sensor: " << error.what() << '\n';
    return 1;
  } catch (const EVirtualImageDevice& error) {
    std::cerr << "tessiva-sensor: " << error.what()
              << " (is Tessiva running with the virtual reader, make run SENSOR=virtual, and "
                 "initialised?)\n";
    return 2;
  }
}
