// synthetic_dataset: writes N generated fingers x M impressions as PGM (or PNG) files and a
// manifest into a folder, the same files for the same arguments, and prints how long the
// generator took and a rough minutiae count of the masters.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <numbers>
#include <string>
#include <string_view>

#include "ImageFile.h"
#include "SkeletonMinutiae.h"
#include "SyntheticFinger.h"

namespace {

struct TArguments {
  std::string Folder;
  int Fingers = 10;
  int Impressions = 8;
  uint32_t FirstFinger = 1;
  bool Masters = false;
  std::string Extension = ".pgm";
};

int Usage() {
  std::cerr << "usage: synthetic_dataset --out FOLDER [--fingers N] [--impressions M] [--first-finger SEED]\n"
               "                         [--masters] [--png]\n"
               "writes fFINGER_iIMPRESSION.pgm for fingers SEED..SEED+N-1 and impressions 1..M,\n"
               "with --masters also fFINGER_master.pgm, and dataset.csv describing every file\n";
  return 2;
}

bool ParseCount(const char* AText, long AMax, long& AValue) {
  char* end = nullptr;
  AValue = std::strtol(AText, &end, 10);
  return end != AText && *end == '\0' && AValue >= 0 && AValue <= AMax;
}

bool Parse(int argc, char** argv, TArguments& AArguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    long value = 0;
    if (option == "--masters") {
      AArguments.Masters = true;
    } else if (option == "--png") {
      AArguments.Extension = ".png";
    } else if (i + 1 >= argc) {
      return false;
    } else if (option == "--out") {
      AArguments.Folder = argv[++i];
    } else if (option == "--fingers" && ParseCount(argv[++i], 100000, value)) {
      AArguments.Fingers = static_cast<int>(value);
    } else if (option == "--impressions" && ParseCount(argv[++i], 1000, value)) {
      AArguments.Impressions = static_cast<int>(value);
    } else if (option == "--first-finger" && ParseCount(argv[++i], 0xFFFFFFFFl, value)) {
      AArguments.FirstFinger = static_cast<uint32_t>(value);
    } else {
      return false;
    }
  }
  return !AArguments.Folder.empty();
}

const char* PatternName(TFingerPattern APattern) {
  switch (APattern) {
    case TFingerPattern::Arch: return "arch";
    case TFingerPattern::TentedArch: return "tented_arch";
    case TFingerPattern::LeftLoop: return "left_loop";
    case TFingerPattern::RightLoop: return "right_loop";
    case TFingerPattern::Whorl: return "whorl";
  }
  return "?";
}

std::string FileName(uint32_t AFinger, const std::string& AWhat, const std::string& AExtension) {
  char name[64];
  std::snprintf(name, sizeof name, "f%05u_%s", AFinger, AWhat.c_str());
  return name + AExtension;
}

// Wall time and processor time: on a shared machine the second shows the generator's own cost.
struct TStopwatch {
  std::chrono::steady_clock::duration Wall{};
  std::clock_t Processor = 0;

  template <class TWork>
  auto Time(TWork AWork) {
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t processorStart = std::clock();
    auto result = AWork();
    Processor += std::clock() - processorStart;
    Wall += std::chrono::steady_clock::now() - wallStart;
    return result;
  }

  void Print(const char* AWhat, int ACount) const {
    std::printf("%-10s %8.1f ms each, %8.1f ms processor time\n", AWhat,
                std::chrono::duration<double, std::milli>(Wall).count() / ACount,
                1000.0 * static_cast<double>(Processor) / CLOCKS_PER_SEC / ACount);
  }
};

}  // namespace

int main(int argc, char** argv) {
  TArguments arguments;
  if (!Parse(argc, argv, arguments)) return Usage();
  const std::filesystem::path folder = arguments.Folder;
  std::filesystem::create_directories(folder);
  std::ofstream manifest(folder / "dataset.csv");
  manifest << "file,finger_seed,impression_seed,pattern,rotation_degrees,scale,shift_x,shift_y\n";
  TStopwatch masterTime;
  TStopwatch impressionTime;
  std::map<std::string, int> patterns;
  std::vector<int> minutiaeCounts;
  try {
    for (int f = 0; f < arguments.Fingers; ++f) {
      const uint32_t finger = arguments.FirstFinger + static_cast<uint32_t>(f);
      const TSyntheticMaster master = masterTime.Time([&] { return TSyntheticMaster(finger); });
      const char* pattern = PatternName(master.Pattern());
      ++patterns[pattern];
      const TSkeletonMinutiae minutiae = CountSkeletonMinutiae(master);
      minutiaeCounts.push_back(minutiae.Endings + minutiae.Bifurcations);
      if (arguments.Masters) {
        const std::string name = FileName(finger, "master", arguments.Extension);
        WriteImageFile((folder / name).string(), master.Image());
        manifest << name << ',' << finger << ",," << pattern << ",0,1,0,0\n";
      }
      for (int i = 1; i <= arguments.Impressions; ++i) {
        const uint32_t impression = static_cast<uint32_t>(i);
        const TGreyImage image = impressionTime.Time([&] { return master.Impression(impression); });
        const TImpressionPose pose = master.Geometry(impression).Pose();
        char number[16];
        std::snprintf(number, sizeof number, "i%02d", i);
        const std::string name = FileName(finger, number, arguments.Extension);
        WriteImageFile((folder / name).string(), image);
        manifest << name << ',' << finger << ',' << impression << ',' << pattern << ','
                 << pose.Rotation * 180.0 / std::numbers::pi << ',' << pose.Scale << ',' << pose.Shift.X << ','
                 << pose.Shift.Y << '\n';
      }
    }
  } catch (const EImageFile& error) {
    std::cerr << "synthetic_dataset: " << error.what() << '\n';
    return 1;
  }
  const int fingers = std::max(arguments.Fingers, 1);
  const int impressions = std::max(arguments.Fingers * arguments.Impressions, 1);
  std::printf("fingers %d, impressions %d per finger, in %s\n", arguments.Fingers, arguments.Impressions, arguments.Folder.c_str());
  masterTime.Print("master", fingers);
  impressionTime.Print("impression", impressions);
  for (const auto& [name, count] : patterns) std::printf("pattern %-12s %d\n", name.c_str(), count);
  if (!minutiaeCounts.empty()) {
    std::sort(minutiaeCounts.begin(), minutiaeCounts.end());
    double sum = 0;
    for (const int count : minutiaeCounts) sum += count;
    std::printf("skeleton minutiae per master: mean %.1f, min %d, median %d, max %d\n", sum / minutiaeCounts.size(),
                minutiaeCounts.front(), minutiaeCounts[minutiaeCounts.size() / 2], minutiaeCounts.back());
  }
  return 0;
}
