#include "ImpressionFolder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "ImageFile.h"

namespace {

// finger -> impression -> file
using TFolderIndex = std::map<int, std::map<int, std::filesystem::path>>;

TFolderIndex IndexFolder(const std::string& AFolder) {
  TFolderIndex index;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder, error)) {
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || (extension != ".pgm" && extension != ".png")) continue;
    int finger = 0, impression = 0;
    char rest = 0;
    if (std::sscanf(entry.path().stem().string().c_str(), "%d_%d%c", &finger, &impression, &rest) ==
            2 &&
        finger > 0 && impression > 0) {
      index[finger][impression] = entry.path();
    }
  }
  return index;
}

// Impressions 1..M present for every finger.
int CommonImpressions(const TFolderIndex& AIndex) {
  int common = -1;
  for (const auto& [finger, impressions] : AIndex) {
    int count = 0;
    while (impressions.contains(count + 1)) ++count;
    common = common < 0 ? count : std::min(common, count);
  }
  return std::max(common, 0);
}

}  // namespace

bool HoldsImpressions(const std::string& AFolder) {
  return !IndexFolder(AFolder).empty();
}

TImpressionSet ReadImpressionFolder(const std::string& AFolder) {
  const TFolderIndex index = IndexFolder(AFolder);
  if (index.empty()) throw std::runtime_error(AFolder + " holds no F_K.pgm presses");
  const int fingers = index.rbegin()->first;
  if (static_cast<int>(index.size()) != fingers) {
    throw std::runtime_error(AFolder + ": fingers are not numbered 1.." + std::to_string(fingers));
  }
  const int impressions = CommonImpressions(index);
  std::vector<std::vector<TGreyImage>> images(static_cast<std::size_t>(fingers));
  for (const auto& [finger, files] : index) {
    for (int impression = 1; impression <= impressions; ++impression) {
      images[static_cast<std::size_t>(finger - 1)].push_back(
          ReadImageFile(files.at(impression).string()));
    }
  }
  return TImpressionSet(std::move(images), 1);
}
