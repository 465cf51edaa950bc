// Accuracy of the minutiae matcher on made-up fingers, at threshold 10:
//  - press against press: every pair of presses of one finger (genuine) and the first presses of
//    every two fingers (impostor);
//  - enrolment against press: the first three presses merged, against each later press of the
//    same finger and the first later press of every other finger.
//   minutiae_accuracy [fingers=100] [presses=8] [seed=1]

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "AccuracyTable.h"
#include "EnrollmentMerge.h"
#include "MinutiaeMatcher.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int kThreshold = 10;

TPressConditions RealisticPress(std::mt19937& ARandom) {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = 30;
  conditions.WindowArea = std::uniform_real_distribution<float>(0.6f, 1.0f)(ARandom);
  return conditions;
}

void Report(const char* ATitle, const TAccuracyTable& ATable) {
  const auto eer = ATable.EqualErrorRate();
  std::printf("%s: %zu genuine, %zu impostor comparisons\n", ATitle, ATable.GenuineCount(),
              ATable.ImpostorCount());
  std::printf("  threshold %d: FNMR %.2f %%, FMR %.3f %%; EER %.2f %% at threshold %d\n", kThreshold,
              100 * ATable.FalseNonMatchRate(kThreshold), 100 * ATable.FalseMatchRate(kThreshold),
              100 * eer.Rate, eer.Threshold);
  std::printf("  genuine scores: 1%% %d, 5%% %d, 50%% %d; impostor scores: 99%% %d, 99.9%% %d, max %d\n",
              ATable.GenuineQuantile(0.01), ATable.GenuineQuantile(0.05), ATable.GenuineQuantile(0.5),
              ATable.ImpostorQuantile(0.99), ATable.ImpostorQuantile(0.999), ATable.ImpostorQuantile(1.0));
}

}  // namespace

int main(int argc, char** argv) {
  const int fingers = argc > 1 ? std::atoi(argv[1]) : 100;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 8;
  std::mt19937 random(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);

  std::vector<std::vector<TMinutiaeTemplate>> pressTemplates(static_cast<std::size_t>(fingers));
  std::vector<std::vector<TPreparedTemplate>> prepared(pressTemplates.size());
  for (std::size_t i = 0; i < pressTemplates.size(); ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    for (int press = 0; press < presses; ++press) {
      pressTemplates[i].push_back(MakeSyntheticPress(finger, RealisticPress(random), random));
      prepared[i].emplace_back(pressTemplates[i].back());
    }
  }
  TAccuracyTable table;
  for (const auto& finger : prepared) {
    for (std::size_t a = 0; a < finger.size(); ++a) {
      for (std::size_t b = a + 1; b < finger.size(); ++b) table.AddGenuine(CompareMinutiae(finger[a], finger[b]));
    }
  }
  for (std::size_t a = 0; a < prepared.size(); ++a) {
    for (std::size_t b = a + 1; b < prepared.size(); ++b) {
      table.AddImpostor(CompareMinutiae(prepared[a][0], prepared[b][0]));
    }
  }
  Report("press against press", table);
  TAccuracyTable enrolled;
  constexpr std::size_t kEnrolPresses = 3;
  std::vector<TPreparedTemplate> merged;
  for (const auto& finger : pressTemplates) {
    merged.emplace_back(MergeEnrollment(std::span(finger).first(std::min(kEnrolPresses, finger.size()))));
  }
  for (std::size_t a = 0; a < prepared.size(); ++a) {
    for (std::size_t b = 0; b < prepared.size(); ++b) {
      for (std::size_t press = kEnrolPresses; press < prepared[b].size(); ++press) {
        if (a == b) {
          enrolled.AddGenuine(CompareMinutiae(merged[a], prepared[b][press]));
        } else if (press == kEnrolPresses) {
          enrolled.AddImpostor(CompareMinutiae(merged[a], prepared[b][press]));
        }
      }
    }
  }
  Report("enrolment of 3 presses against press", enrolled);
  return 0;
}
