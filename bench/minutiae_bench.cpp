// Speed of the minutiae matcher on made-up fingers: one comparison from templates, preparation,
// one comparison of prepared templates, and one probe against 1,000 enrolled templates, compared
// with every one and through the shortlist identification uses.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "EnrolmentShortlist.h"
#include "MinutiaeMatcher.h"
#include "SyntheticMinutiae.h"

namespace {

struct TFingerPresses {
  std::vector<TMinutiaeTemplate> Enrolled;  // one press per finger
  std::vector<TMinutiaeTemplate> Probes;    // another press of the same finger
};

TFingerPresses MakePresses(int AFingers) {
  std::mt19937 random(7);
  TFingerPresses presses;
  for (int i = 0; i < AFingers; ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    presses.Enrolled.push_back(MakeSyntheticPress(finger, {}, random));
    presses.Probes.push_back(MakeSyntheticPress(finger, {}, random));
  }
  return presses;
}

void BM_CompareTemplates(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(64);
  const bool sameFinger = AState.range(0) != 0;
  std::size_t i = 0;
  for (auto _ : AState) {
    const std::size_t probe = sameFinger ? i : (i + 1) % presses.Probes.size();
    benchmark::DoNotOptimize(CompareMinutiae(presses.Enrolled[i], presses.Probes[probe]));
    i = (i + 1) % presses.Enrolled.size();
  }
}
BENCHMARK(BM_CompareTemplates)
    ->ArgName("same_finger")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);

void BM_Prepare(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(64);
  std::size_t i = 0;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(TPreparedTemplate(presses.Enrolled[i]));
    i = (i + 1) % presses.Enrolled.size();
  }
}
BENCHMARK(BM_Prepare)->Unit(benchmark::kMicrosecond);

void BM_ComparePrepared(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(64);
  std::vector<TPreparedTemplate> enrolled, probes;
  for (const auto& press : presses.Enrolled) enrolled.emplace_back(press);
  for (const auto& press : presses.Probes) probes.emplace_back(press);
  const bool sameFinger = AState.range(0) != 0;
  std::size_t i = 0;
  for (auto _ : AState) {
    const std::size_t probe = sameFinger ? i : (i + 1) % probes.size();
    benchmark::DoNotOptimize(CompareMinutiae(enrolled[i], probes[probe]));
    i = (i + 1) % enrolled.size();
  }
}
BENCHMARK(BM_ComparePrepared)
    ->ArgName("same_finger")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);

// The engine's identification: one probe, prepared once, against a cache of prepared templates.
void BM_IdentifyInThousand(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(1000);
  std::vector<TPreparedTemplate> enrolled;
  for (const auto& press : presses.Enrolled) enrolled.emplace_back(press);
  std::size_t i = 0;
  for (auto _ : AState) {
    const TPreparedTemplate probe(presses.Probes[i]);
    int32_t best = 0;
    for (const TPreparedTemplate& candidate : enrolled)
      best = std::max(best, CompareMinutiae(candidate, probe));
    benchmark::DoNotOptimize(best);
    i = (i + 97) % presses.Probes.size();
  }
}
BENCHMARK(BM_IdentifyInThousand)->Unit(benchmark::kMillisecond);

// The same as the engine's cache does it: a first look at every enrolled template, full
// comparisons of the shortlist only.
void BM_IdentifyInThousandShortlisted(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(1000);
  std::vector<TPreparedTemplate> enrolled;
  for (const auto& press : presses.Enrolled) enrolled.emplace_back(press);
  std::vector<TEnrolmentSamples> enrolments;
  for (const TPreparedTemplate& candidate : enrolled) enrolments.emplace_back(&candidate, 1);
  std::size_t i = 0;
  for (auto _ : AState) {
    const TPreparedTemplate probe(presses.Probes[i]);
    int32_t best = 0;
    for (std::size_t candidate : ShortlistEnrolments(enrolments, std::span(&probe, 1), kIdentificationShortlist))
      best = std::max(best, CompareMinutiae(enrolled[candidate], probe));
    benchmark::DoNotOptimize(best);
    i = (i + 97) % presses.Probes.size();
  }
}
BENCHMARK(BM_IdentifyInThousandShortlisted)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
