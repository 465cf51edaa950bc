// gallery_identification: one probe identified among 1,000 enrolments, as the reader engine's
// cache does it (a first look at every enrolment, full comparisons of the shortlist) and by
// comparing every enrolment; their times and whether they find the same finger.
//
//   gallery_identification [--size N] [--probes P] NAME=FILE[:FIRST-LAST] ...
//
// FILE: presses that press_templates wrote. Each finger enrols its presses 1-3 and probes with
// presses 4-8. The gallery needs more fingers than the sets have, so each finger also appears
// mirrored, and both turned by half a turn: four fingers to the matcher, which searches turns up
// to 60 degrees and no mirror images (quarter turns would not do: two presses turned 20 degrees
// apart then fall within the search). N of them, in a fixed random order, are enrolled (1,000 by
// default); the rest are strangers. P probes per set (40 by default), drawn in a fixed random
// order from both.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "FingerprintCacheSet.h"
#include "MinutiaeTemplateCodec.h"
#include "ProbeScreen.h"
#include "Stopwatch.h"
#include "TemplateSet.h"
#include "Timings.h"

namespace {

constexpr int kThreshold = 10;
constexpr int kLastEnrolPress = 3;
constexpr int kVariants = 4;

// The engine's codec without its shortlist: every enrolment compared in full.
struct TExhaustiveCodec {
  static std::optional<TPreparedSamples> Decode(std::u16string_view AText) {
    return TMinutiaeTemplateCodec::Decode(AText);
  }
  static int32_t Score(const TPreparedSamples& AEnrolled, const TPreparedSamples& AProbe) {
    return TMinutiaeTemplateCodec::Score(AEnrolled, AProbe);
  }
};

struct TFinger {
  std::string Set;
  int Source = 0;
  int Variant = 0;
  std::vector<TMinutiaeTemplate> Enrolment;
  std::vector<TMinutiaeTemplate> Probes;
};

// Variant 0 is the press as it is, 1 its mirror image; 2 and 3 turn those by half a turn.
TMinutiaeTemplate Transformed(const TMinutiaeTemplate& APress, int AVariant) {
  TMinutiaeTemplate result = APress;
  if (AVariant % 2 == 1) {
    for (TMinutia& minutia : result.Minutiae) {
      minutia.X = static_cast<float>(result.Width) - 1 - minutia.X;
      minutia.Direction = NormalizeAngle(std::numbers::pi_v<float> - minutia.Direction);
    }
  }
  for (int turn = 0; turn < (AVariant / 2) * 2; ++turn) {
    // A quarter turn with y downward: (x, y) to (height - 1 - y, x), directions a quarter on.
    for (TMinutia& minutia : result.Minutiae) {
      const float x = minutia.X;
      minutia.X = std::max(0.0f, static_cast<float>(result.Height) - 1 - minutia.Y);
      minutia.Y = x;
      minutia.Direction = NormalizeAngle(minutia.Direction + std::numbers::pi_v<float> / 2);
    }
    std::swap(result.Width, result.Height);
  }
  return result;
}

std::vector<TFinger> ReadFingers(const std::string& AArgument) {
  const auto equals = AArgument.find('=');
  if (equals == std::string::npos) throw std::runtime_error("not NAME=FILE[:FIRST-LAST]: " + AArgument);
  const std::string name = AArgument.substr(0, equals);
  std::string path = AArgument.substr(equals + 1);
  int first = 0, last = 1 << 30;
  if (const auto range = path.rfind(':'); range != std::string::npos) {
    const std::string fingers = path.substr(range + 1);
    path.resize(range);
    const auto dash = fingers.find('-');
    first = std::stoi(fingers.substr(0, dash));
    last = dash == std::string::npos ? first : std::stoi(fingers.substr(dash + 1));
  }
  std::map<int, std::vector<const TTemplatePress*>> byFinger;
  const std::vector<TTemplatePress> presses = ReadTemplatePresses(path, first, last);
  for (const TTemplatePress& press : presses) byFinger[press.Finger].push_back(&press);
  std::vector<TFinger> fingers;
  for (const auto& [finger, fingerPresses] : byFinger) {
    for (int variant = 0; variant < kVariants; ++variant) {
      TFinger made{name, finger, variant, {}, {}};
      for (const TTemplatePress* press : fingerPresses) {
        (press->Press <= kLastEnrolPress ? made.Enrolment : made.Probes)
            .push_back(Transformed(press->Template, variant));
      }
      if (!made.Enrolment.empty()) fingers.push_back(std::move(made));
    }
  }
  return fingers;
}

struct TProbe {
  std::size_t Finger = 0;  // index into the fingers
  std::u16string Text;
  TPreparedTemplate Prepared;
};

struct TSetFigures {
  int Enrolled = 0, Strangers = 0;
  int ExhaustiveIdentified = 0, ShortlistIdentified = 0;
  int ExhaustiveFalse = 0, ShortlistFalse = 0;
  int Different = 0;  // a different id, or a different score at or above the threshold
};

}  // namespace

int main(int argc, char** argv) {
  std::size_t gallerySize = 1000, probesPerSet = 40;
  std::vector<std::string> sets;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--size" && i + 1 < argc) {
      gallerySize = std::stoul(argv[++i]);
    } else if (argument == "--probes" && i + 1 < argc) {
      probesPerSet = std::stoul(argv[++i]);
    } else {
      sets.push_back(argument);
    }
  }
  if (sets.empty()) {
    std::fprintf(stderr, "usage: gallery_identification [--size N] [--probes P] NAME=FILE[:FIRST-LAST] ...\n");
    return 2;
  }
  try {
    std::vector<TFinger> fingers;
    for (const std::string& set : sets) {
      for (TFinger& finger : ReadFingers(set)) fingers.push_back(std::move(finger));
    }
    std::mt19937 random(11);
    std::shuffle(fingers.begin(), fingers.end(), random);
    gallerySize = std::min(gallerySize, fingers.size());
    TFingerprintCacheSet<TPreparedSamples, TMinutiaeTemplateCodec> engineCaches;
    TFingerprintCacheSet<TPreparedSamples, TExhaustiveCodec> exhaustiveCaches;
    const int32_t engineCache = engineCaches.Create(), exhaustiveCache = exhaustiveCaches.Create();
    std::vector<TPreparedSamples> enrolments;
    std::size_t samples = 0;
    for (std::size_t id = 0; id < gallerySize; ++id) {
      const std::u16string text = EncodeTemplateSamples(fingers[id].Enrolment, 10);
      engineCaches.Add(engineCache, static_cast<int32_t>(id), text, text);
      exhaustiveCaches.Add(exhaustiveCache, static_cast<int32_t>(id), text, text);
      enrolments.push_back(*TMinutiaeTemplateCodec::Decode(text));
      samples += enrolments.back().size();
    }
    // Probes per set, in a fixed random order over every finger of the set.
    std::map<std::string, std::vector<TProbe>> probes;
    std::vector<std::pair<std::size_t, std::size_t>> order;
    for (std::size_t f = 0; f < fingers.size(); ++f)
      for (std::size_t p = 0; p < fingers[f].Probes.size(); ++p) order.emplace_back(f, p);
    std::shuffle(order.begin(), order.end(), random);
    for (const auto& [f, p] : order) {
      std::vector<TProbe>& setProbes = probes[fingers[f].Set];
      if (setProbes.size() >= probesPerSet) continue;
      const TMinutiaeTemplate& press = fingers[f].Probes[p];
      setProbes.push_back({f, EncodeMinutiaeTemplate(press, 10), TPreparedTemplate(press)});
    }
    std::printf("gallery: %zu enrolments (%zu samples) of %zu fingers (the sets' own, mirrored and "
                "turned)\n", gallerySize, samples, fingers.size());
    std::vector<double> exhaustiveWall, exhaustiveCpu, engineWall, engineCpu, screenCpu;
    std::vector<int> ranksOfMatches;  // the first look's rank of the finger when a full search finds it
    std::map<std::string, TSetFigures> figures;
    for (const auto& [set, setProbes] : probes) {
      TSetFigures& setFigures = figures[set];
      for (const TProbe& probe : setProbes) {
        const bool enrolled = probe.Finger < gallerySize;
        ++(enrolled ? setFigures.Enrolled : setFigures.Strangers);
        TFingerprintCacheSet<TPreparedSamples, TExhaustiveCodec>::TIdentification exhaustive;
        const TElapsed exhaustiveTime = TimeWork(
            [&] { exhaustive = exhaustiveCaches.Identify(exhaustiveCache, probe.Text, kThreshold); });
        TFingerprintCacheSet<TPreparedSamples, TMinutiaeTemplateCodec>::TIdentification engine;
        const TElapsed engineTime = TimeWork(
            [&] { engine = engineCaches.Identify(engineCache, probe.Text, kThreshold); });
        exhaustiveWall.push_back(exhaustiveTime.WallMicroseconds / 1000);
        exhaustiveCpu.push_back(exhaustiveTime.ProcessorMicroseconds / 1000);
        engineWall.push_back(engineTime.WallMicroseconds / 1000);
        engineCpu.push_back(engineTime.ProcessorMicroseconds / 1000);
        const auto right = [&](int32_t AId) {
          return AId >= 0 && static_cast<std::size_t>(AId) == probe.Finger;
        };
        setFigures.ExhaustiveIdentified += right(exhaustive.Id);
        setFigures.ShortlistIdentified += right(engine.Id);
        setFigures.ExhaustiveFalse += exhaustive.Id >= 0 && !right(exhaustive.Id);
        setFigures.ShortlistFalse += engine.Id >= 0 && !right(engine.Id);
        setFigures.Different += exhaustive.Id != engine.Id ||
                                (exhaustive.Id >= 0 && exhaustive.Score != engine.Score);
        std::vector<int> agreement;
        const TElapsed screenTime = TimeWork([&] {
          const TProbeScreen screen(probe.Prepared);
          for (const TPreparedSamples& enrolment : enrolments) {
            int best = 0;
            for (const TPreparedTemplate& sample : enrolment) best = std::max(best, screen.Agreement(sample));
            agreement.push_back(best);
          }
        });
        screenCpu.push_back(screenTime.ProcessorMicroseconds / 1000);
        if (!right(exhaustive.Id)) continue;
        const int own = agreement[static_cast<std::size_t>(exhaustive.Id)];
        int rank = 1;
        for (std::size_t id = 0; id < agreement.size(); ++id) {
          rank += agreement[id] > own ||
                  (agreement[id] == own && id < static_cast<std::size_t>(exhaustive.Id));
        }
        ranksOfMatches.push_back(rank);
      }
    }
    std::printf("  %-10s %8s %9s %22s %22s %10s\n", "set", "enrolled", "strangers",
                "identified all/short", "false id all/short", "different");
    for (const auto& [set, f] : figures) {
      std::printf("  %-10s %8d %9d %13d / %-6d %13d / %-6d %10d\n", set.c_str(), f.Enrolled,
                  f.Strangers, f.ExhaustiveIdentified, f.ShortlistIdentified, f.ExhaustiveFalse,
                  f.ShortlistFalse, f.Different);
    }
    const auto print = [](const char* AName, const std::vector<double>& AWall, const std::vector<double>& ACpu) {
      const TTimings wall = SummariseTimings(AWall, 95);
      std::printf("  %-28s %8.2f ms mean, %8.2f ms at the 95th percentile (wall); %8.2f ms mean "
                  "processor time\n", AName, wall.Mean, wall.Percentile, SummariseTimings(ACpu, 95).Mean);
    };
    std::printf("one identification among %zu enrolments, one thread:\n", gallerySize);
    print("every enrolment compared", exhaustiveWall, exhaustiveCpu);
    print("the engine (shortlist)", engineWall, engineCpu);
    std::printf("  of which the first look at every enrolment: %.2f ms mean processor time\n",
                SummariseTimings(screenCpu, 95).Mean);
    std::sort(ranksOfMatches.begin(), ranksOfMatches.end());
    std::printf("first-look rank of the probe's finger when a full search identifies it (%zu probes):",
                ranksOfMatches.size());
    for (const double share : {0.5, 0.9, 0.99, 1.0}) {
      if (ranksOfMatches.empty()) break;
      const auto at = std::min(ranksOfMatches.size() - 1,
                               static_cast<std::size_t>(share * static_cast<double>(ranksOfMatches.size())));
      std::printf(" %.0f%%: %d", 100 * share, ranksOfMatches[at]);
    }
    std::printf("\n");
  } catch (const std::exception& AError) {
    std::fprintf(stderr, "gallery_identification: %s\n", AError.what());
    return 1;
  }
  return 0;
}
