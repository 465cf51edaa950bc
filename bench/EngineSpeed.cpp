#include "EngineSpeed.h"

#include <chrono>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kIdentifications = 40;

template <class TWork>
double Time(TWork AWork) {
  const TClock::time_point start = TClock::now();
  AWork();
  return std::chrono::duration<double, std::micro>(TClock::now() - start).count();
}

std::vector<double> TimeComparisons(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates) {
  std::vector<double> micros;
  const std::size_t fingers = ATemplates.Enrolled.size();
  for (std::size_t finger = 0; finger < fingers; ++finger) {
    if (ATemplates.Enrolled[finger].Text.empty()) continue;
    for (const std::size_t probed : {finger, (finger + 1) % fingers}) {
      for (const auto& probe : ATemplates.Probes[probed]) {
        if (probe.Text.empty()) continue;
        std::u16string enrolled = ATemplates.Enrolled[finger].Text;
        bool changed = false;
        micros.push_back(Time([&] { AEngine.VerFingerFromStr(enrolled, probe.Text, false, changed); }));
      }
    }
  }
  return micros;
}

std::vector<std::u16string> AllTexts(const TTessivaTemplates& ATemplates) {
  std::vector<std::u16string> texts;
  for (const auto& enrolled : ATemplates.Enrolled) {
    if (!enrolled.Text.empty()) texts.push_back(enrolled.Text);
  }
  for (const auto& finger : ATemplates.Probes) {
    for (const auto& probe : finger) {
      if (!probe.Text.empty()) texts.push_back(probe.Text);
    }
  }
  return texts;
}

std::vector<double> TimeIdentifications(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates,
                                        int ACacheSize) {
  const std::vector<std::u16string> texts = AllTexts(ATemplates);
  if (texts.empty()) return {};
  const int32_t cache = AEngine.CreateFPCacheDBEx();
  for (int id = 0; id < ACacheSize; ++id) {
    const std::u16string& text = texts[static_cast<std::size_t>(id) % texts.size()];
    AEngine.AddRegTemplateStrToFPCacheDBEx(cache, id, text, text);
  }
  std::vector<double> millis;
  // Probes spread over the fingers, each a template the cache holds once or more.
  for (int i = 0; i < kIdentifications; ++i) {
    const std::u16string& probe = texts[static_cast<std::size_t>(i) * texts.size() / kIdentifications];
    int32_t score = 0, compared = 0;
    millis.push_back(Time([&] { AEngine.IdentificationInFPCacheDB(cache, probe, score, compared); }) / 1000);
  }
  AEngine.FreeFPCacheDB(cache);
  return millis;
}

}  // namespace

TEngineSpeed MeasureEngineSpeed(TNqFPEngX& AEngine, const TTessivaTemplates& ATemplates, int ACacheSize) {
  TEngineSpeed speed;
  speed.CacheSize = ACacheSize;
  speed.ComparisonMicroseconds = SummariseTimings(TimeComparisons(AEngine, ATemplates), 99);
  speed.IdentificationMilliseconds = SummariseTimings(TimeIdentifications(AEngine, ATemplates, ACacheSize), 95);
  return speed;
}
