#include "ImpressionSet.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "ImageFile.h"
#include "SyntheticFinger.h"

namespace {

std::filesystem::path CachedFile(const std::string& AFolder, uint32_t AFinger, uint32_t AImpression) {
  char name[48];
  std::snprintf(name, sizeof name, "f%05u_i%02u.pgm", AFinger, AImpression);
  return std::filesystem::path(AFolder) / name;
}

}  // namespace

TImpressionSet::TImpressionSet(int AFingers, int AImpressions, uint32_t AFirstFinger,
                               const std::string& ACacheFolder)
    : FImpressions(AImpressions), FFirstFinger(AFirstFinger), FImages(static_cast<std::size_t>(AFingers)) {
  if (!ACacheFolder.empty()) std::filesystem::create_directories(ACacheFolder);
  for (int finger = 0; finger < AFingers; ++finger) {
    auto& images = FImages[static_cast<std::size_t>(finger)];
    // The master costs most of the generation: built only when a file is missing.
    std::optional<TSyntheticMaster> master;
    for (uint32_t impression = 1; impression <= static_cast<uint32_t>(AImpressions); ++impression) {
      const auto file = ACacheFolder.empty() ? std::filesystem::path()
                                             : CachedFile(ACacheFolder, FingerSeed(finger), impression);
      if (!file.empty() && std::filesystem::exists(file)) {
        images.push_back(ReadImageFile(file.string()));
        continue;
      }
      if (!master) master.emplace(FingerSeed(finger));
      images.push_back(master->Impression(impression));
      if (!file.empty()) WriteImageFile(file.string(), images.back());
    }
  }
}

const TGreyImage& TImpressionSet::Image(int AFinger, int AImpression) const {
  return FImages.at(static_cast<std::size_t>(AFinger)).at(static_cast<std::size_t>(AImpression));
}
