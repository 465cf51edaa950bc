#include "ImpressionSet.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "ImageFile.h"
#include "SyntheticFinger.h"

namespace {

std::filesystem::path CachedFile(const std::string& AFolder, uint32_t AFinger,
                                 uint32_t AImpression) {
  char name[48];
  std::snprintf(name, sizeof name, "f%05u_i%02u.pgm", AFinger, AImpression);
  return std::filesystem::path(AFolder) / name;
}

}  // namespace

TImpressionSet::TImpressionSet(int AFingers, int AImpressions, uint32_t AFirstFinger,
                               const std::string& ACacheFolder)
    : FImpressions(AImpressions),
      FFirstFinger(AFirstFinger),
      FImages(static_cast<std::size_t>(AFingers)) {
  if (!ACacheFolder.empty()) std::filesystem::create_directories(ACacheFolder);
  // Fingers are independent: one thread per core takes the next finger not yet made.
  std::atomic<int> next = 0;
  std::mutex failureLock;
  std::exception_ptr failure;
  const auto work = [&] {
    try {
      for (int finger = next++; finger < AFingers; finger = next++)
        MakeFinger(finger, ACacheFolder);
    } catch (...) {
      const std::lock_guard lock(failureLock);
      failure = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> workers(std::max(1u, std::thread::hardware_concurrency()) - 1);
    for (auto& worker : workers) worker = std::jthread(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
}

TImpressionSet::TImpressionSet(std::vector<std::vector<TGreyImage>> AImages, uint32_t AFirstFinger)
    : FImpressions(AImages.empty() ? 0 : static_cast<int>(AImages.front().size())),
      FFirstFinger(AFirstFinger),
      FImages(std::move(AImages)) {}

void TImpressionSet::MakeFinger(int AFinger, const std::string& ACacheFolder) {
  auto& images = FImages[static_cast<std::size_t>(AFinger)];
  // The master costs most of the generation: built only when a file is missing.
  std::optional<TSyntheticMaster> master;
  for (uint32_t impression = 1; impression <= static_cast<uint32_t>(FImpressions); ++impression) {
    const auto file = ACacheFolder.empty()
                          ? std::filesystem::path()
                          : CachedFile(ACacheFolder, FingerNumber(AFinger), impression);
    if (!file.empty() && std::filesystem::exists(file)) {
      images.push_back(ReadImageFile(file.string()));
      continue;
    }
    if (!master) master.emplace(FingerNumber(AFinger));
    images.push_back(master->Impression(impression));
    if (!file.empty()) WriteImageFile(file.string(), images.back());
  }
}

const TGreyImage& TImpressionSet::Image(int AFinger, int AImpression) const {
  return FImages.at(static_cast<std::size_t>(AFinger)).at(static_cast<std::size_t>(AImpression));
}
