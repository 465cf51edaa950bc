#include "TessivaIdentification.h"

#include "IdentificationGallery.h"
#include "Stopwatch.h"

namespace {

constexpr int32_t kNotFound = -1;

// A cache of the engine's, freed when it goes.
class TEngineCache {
 public:
  explicit TEngineCache(TNqFPEngX& AEngine)
      : FEngine(AEngine), FHandle(AEngine.CreateFPCacheDBEx()) {}
  ~TEngineCache() { FEngine.FreeFPCacheDB(FHandle); }
  TEngineCache(const TEngineCache&) = delete;
  TEngineCache& operator=(const TEngineCache&) = delete;

  void Add(int AFinger, const TTessivaTemplate& ATemplate) {
    if (!ATemplate.Text.empty())
      FEngine.AddRegTemplateStrToFPCacheDBEx(FHandle, AFinger, ATemplate.Text, ATemplate.Text);
  }
  int32_t Identify(const TTessivaTemplate& AProbe) {
    int32_t score = 0, compared = 0;
    return FEngine.IdentificationInFPCacheDB(FHandle, AProbe.Text, score, compared);
  }

 private:
  TNqFPEngX& FEngine;
  const int32_t FHandle;
};

}  // namespace

std::vector<TTessivaIdentification> IdentifyInGalleries(TNqFPEngX& AEngine,
                                                        const TTessivaTemplates& ATemplates,
                                                        int AGallerySize, uint32_t AGallerySeed) {
  std::vector<TTessivaIdentification> result;
  const int fingers = static_cast<int>(ATemplates.Enrolled.size());
  for (int finger = 0; finger < fingers; ++finger) {
    TEngineCache cache(AEngine);
    for (const int member : IdentificationGallery(finger, 0, fingers, AGallerySize, AGallerySeed)) {
      cache.Add(member, ATemplates.Enrolled[static_cast<std::size_t>(member)]);
    }
    for (const TTessivaTemplate& probe : ATemplates.Probes[static_cast<std::size_t>(finger)]) {
      TTessivaIdentification& identification =
          result.emplace_back(TTessivaIdentification{finger, false, false, 0});
      if (probe.Text.empty()) continue;
      identification.Tried = true;
      int32_t found = kNotFound;
      identification.Milliseconds =
          TimeWork([&] { found = cache.Identify(probe); }).WallMicroseconds / 1000;
      identification.Correct = found == finger;
    }
  }
  return result;
}

TStrangerCheck IdentifyStrangers(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates,
                                 int AFirstStranger) {
  TStrangerCheck result;
  result.FirstStranger = AFirstStranger;
  TEngineCache cache(AEngine);
  for (int finger = 0; finger < AFirstStranger; ++finger) {
    const TTessivaTemplate& enrolled =
        ATemplates.Enrolments[static_cast<std::size_t>(finger)].Template;
    cache.Add(finger, enrolled);
    result.EnrolledFingers += enrolled.Text.empty() ? 0 : 1;
  }
  for (std::size_t finger = static_cast<std::size_t>(AFirstStranger);
       finger < ATemplates.Probes.size(); ++finger) {
    ++result.StrangerFingers;
    bool identified = false;
    for (const TTessivaTemplate& probe : ATemplates.Probes[finger]) {
      if (probe.Text.empty()) continue;
      ++result.Probes;
      if (cache.Identify(probe) != kNotFound) {
        ++result.ProbesIdentified;
        identified = true;
      }
    }
    result.StrangersIdentified += identified ? 1 : 0;
  }
  return result;
}
