// press_quality_report: rates again the presses that press_templates wrote, from each image and
// its minutiae, and counts the classes per file before (as written) and now:
//   press_quality_report [-v] LINES...
// Each LINES file holds "PATH CLASS QUALITY TEMPLATE" lines. With -v every press is listed with
// what its rating rests on. Fast enough to study the quality measure without libfprint.

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "ImageFile.h"
#include "MinutiaeTemplate.h"
#include "PressQuality.h"

namespace {

struct TClassCounts {
  std::array<int, 3> Counts{};  // good, suspicious, poor
  void Add(int AClass) { ++Counts[AClass == 0 ? 0 : AClass == -1 ? 1 : 2]; }
  std::string Text() const {
    return std::to_string(Counts[0]) + " good / " + std::to_string(Counts[1]) + " suspicious / " +
           std::to_string(Counts[2]) + " poor";
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  int first = 1;
  if (argc > 1 && std::string(argv[1]) == "-v") {
    verbose = true;
    first = 2;
  }
  if (first >= argc) {
    std::cerr << "usage: press_quality_report [-v] LINES...\n";
    return 2;
  }
  try {
    for (int i = first; i < argc; ++i) {
      std::ifstream lines(argv[i]);
      if (!lines) throw std::runtime_error(std::string("cannot read ") + argv[i]);
      TClassCounts before, now;
      std::string line;
      while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string path, text;
        int oldClass = 1, oldQuality = 0;
        if (!(fields >> path >> oldClass >> oldQuality >> text)) continue;
        const auto decoded = DecodeMinutiaeTemplate(std::u16string(text.begin(), text.end()));
        const TMinutiaeTemplate press = decoded ? *decoded : TMinutiaeTemplate{};
        const TPressQuality quality = MeasurePressQuality(ReadImageFile(path), press.Minutiae);
        before.Add(oldClass);
        now.Add(quality.FeatureInfo);
        if (verbose) {
          std::printf("%-50s %2d %3d -> %2d %3d  area %5.1f mm2  minutiae %3d/%3zu  clarity %.2f\n",
                      path.c_str(), oldClass, oldQuality, quality.FeatureInfo, quality.Quality,
                      quality.RidgeArea, quality.Minutiae, press.Minutiae.size(), quality.Clarity);
        }
      }
      std::printf("%s: before %s; now %s\n", argv[i], before.Text().c_str(), now.Text().c_str());
    }
  } catch (const std::exception& error) {
    std::cerr << "press_quality_report: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
