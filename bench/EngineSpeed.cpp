#include "EngineSpeed.h"

#include <optional>

#include "MinutiaeMatcher.h"
#include "PreparedTemplate.h"
#include "Stopwatch.h"

namespace {

constexpr int kIdentifications = 20;

struct TSamples {
  std::vector<double> Wall;
  std::vector<double> Processor;

  void Add(const TElapsed& AElapsed) {
    Wall.push_back(AElapsed.WallMicroseconds / 1000);
    Processor.push_back(AElapsed.ProcessorMicroseconds / 1000);
  }
  TWorkTimings Summary(double APercentile) const {
    return {SummariseTimings(Wall, APercentile), SummariseTimings(Processor, APercentile).Mean};
  }
};

TSamples TimeComparisons(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates) {
  TSamples samples;
  const std::size_t fingers = ATemplates.Enrolled.size();
  for (std::size_t finger = 0; finger < fingers; ++finger) {
    if (ATemplates.Enrolled[finger].Text.empty()) continue;
    for (const std::size_t probed : {finger, (finger + 1) % fingers}) {
      for (const auto& probe : ATemplates.Probes[probed]) {
        if (probe.Text.empty()) continue;
        std::u16string enrolled = ATemplates.Enrolled[finger].Text;
        bool changed = false;
        samples.Add(TimeWork([&] { AEngine.VerFingerFromStr(enrolled, probe.Text, false, changed); }));
      }
    }
  }
  return samples;
}

std::vector<const TTessivaTemplate*> AllTemplates(const TTessivaTemplates& ATemplates) {
  std::vector<const TTessivaTemplate*> all;
  for (const auto& enrolled : ATemplates.Enrolled) {
    if (enrolled.Samples) all.push_back(&enrolled);
  }
  for (const auto& finger : ATemplates.Probes) {
    for (const auto& probe : finger) {
      if (probe.Samples) all.push_back(&probe);
    }
  }
  return all;
}

// Probes spread over all the templates, each one the cache holds once or more.
const TTessivaTemplate& Probe(const std::vector<const TTessivaTemplate*>& AAll, int AIndex) {
  return *AAll[static_cast<std::size_t>(AIndex) * AAll.size() / kIdentifications];
}

TSamples TimeIdentifications(TNqFPEngX& AEngine, const std::vector<const TTessivaTemplate*>& AAll, int ACacheSize) {
  const int32_t cache = AEngine.CreateFPCacheDBEx();
  for (int id = 0; id < ACacheSize; ++id) {
    const std::u16string& text = AAll[static_cast<std::size_t>(id) % AAll.size()]->Text;
    AEngine.AddRegTemplateStrToFPCacheDBEx(cache, id, text, text);
  }
  TSamples samples;
  for (int i = 0; i < kIdentifications; ++i) {
    int32_t score = 0, compared = 0;
    samples.Add(TimeWork([&] { AEngine.IdentificationInFPCacheDB(cache, Probe(AAll, i).Text, score, compared); }));
  }
  AEngine.FreeFPCacheDB(cache);
  return samples;
}

// The matcher alone, one comparison per template: an enrolment by its first press.
TSamples TimePreparedIdentifications(const std::vector<const TTessivaTemplate*>& AAll, int ACacheSize) {
  std::vector<TPreparedTemplate> cache;
  for (int id = 0; id < ACacheSize; ++id) cache.emplace_back(AAll[static_cast<std::size_t>(id) % AAll.size()]->Samples->front());
  TSamples samples;
  for (int i = 0; i < kIdentifications; ++i) {
    samples.Add(TimeWork([&] {
      const TPreparedTemplate probe(Probe(AAll, i).Samples->front());
      int32_t best = -1;
      for (const auto& enrolled : cache) best = std::max(best, CompareMinutiae(enrolled, probe));
      return best;
    }));
  }
  return samples;
}

}  // namespace

TEngineSpeed MeasureEngineSpeed(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates, int ACacheSize) {
  TEngineSpeed speed;
  speed.CacheSize = ACacheSize;
  speed.Comparison = TimeComparisons(AEngine, ATemplates).Summary(99);
  const std::vector<const TTessivaTemplate*> all = AllTemplates(ATemplates);
  if (all.empty()) return speed;
  speed.Identification = TimeIdentifications(AEngine, all, ACacheSize).Summary(95);
  speed.PreparedIdentification = TimePreparedIdentifications(all, ACacheSize).Summary(95);
  return speed;
}
