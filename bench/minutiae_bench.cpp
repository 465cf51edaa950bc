// Speed of the minutiae matcher on made-up fingers: one comparison from templates, preparation,
// one comparison of prepared templates, the engine's one comparison from texts, and one probe
// against 1,000 enrolled templates, compared with every one and through the shortlist
// identification uses.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "EnrolmentShortlist.h"
#include "MinutiaeMatcher.h"
#include "MinutiaeTemplateCodec.h"
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

// Runs ACompare(enrolled, probe) on each finger in turn, the probe a press of the same finger
// (argument 1) or of the next one (0).
template <typename TCompare>
void CompareInTurn(benchmark::State& AState, std::size_t AFingers, TCompare ACompare) {
  const bool sameFinger = AState.range(0) != 0;
  std::size_t i = 0;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(ACompare(i, sameFinger ? i : (i + 1) % AFingers));
    i = (i + 1) % AFingers;
  }
}

void SameOrNextFinger(benchmark::internal::Benchmark* ABenchmark) {
  ABenchmark->ArgName("same_finger")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
}

void BM_CompareTemplates(benchmark::State& AState) {
  const TFingerPresses presses = MakePresses(64);
  CompareInTurn(AState, presses.Enrolled.size(), [&](std::size_t AEnrolled, std::size_t AProbe) {
    return CompareMinutiae(presses.Enrolled[AEnrolled], presses.Probes[AProbe]);
  });
}
BENCHMARK(BM_CompareTemplates)->Apply(SameOrNextFinger);

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
  CompareInTurn(AState, enrolled.size(), [&](std::size_t AEnrolled, std::size_t AProbe) {
    return CompareMinutiae(enrolled[AEnrolled], probes[AProbe]);
  });
}
BENCHMARK(BM_ComparePrepared)->Apply(SameOrNextFinger);

// The engine's one comparison from texts (VerFingerFromStr): an enrolment of three presses kept
// as samples against one press, both decoded and prepared each time.
struct TFingerTexts {
  std::vector<std::u16string> Enrolled;
  std::vector<std::u16string> Probes;
};

TFingerTexts MakeTexts(int AFingers) {
  std::mt19937 random(11);
  TFingerTexts texts;
  for (int i = 0; i < AFingers; ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    std::vector<TMinutiaeTemplate> samples;
    for (int press = 0; press < 3; ++press)
      samples.push_back(MakeSyntheticPress(finger, {}, random));
    texts.Enrolled.push_back(EncodeTemplateSamples(samples, 10));
    texts.Probes.push_back(EncodeMinutiaeTemplate(MakeSyntheticPress(finger, {}, random), 10));
  }
  return texts;
}

void BM_CompareTexts(benchmark::State& AState) {
  const TFingerTexts texts = MakeTexts(64);
  CompareInTurn(AState, texts.Enrolled.size(), [&](std::size_t AEnrolled, std::size_t AProbe) {
    return TMinutiaeTemplateCodec::ScoreTexts(texts.Enrolled[AEnrolled], texts.Probes[AProbe]);
  });
}
BENCHMARK(BM_CompareTexts)->Apply(SameOrNextFinger);

// Decoding and preparing an enrolment of three samples for every use, as a 1:N cache does.
void BM_DecodeEnrolment(benchmark::State& AState) {
  const TFingerTexts texts = MakeTexts(64);
  std::size_t i = 0;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(TMinutiaeTemplateCodec::Decode(texts.Enrolled[i]));
    i = (i + 1) % texts.Enrolled.size();
  }
}
BENCHMARK(BM_DecodeEnrolment)->Unit(benchmark::kMicrosecond);

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
