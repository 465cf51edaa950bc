// Accuracy of the minutiae matcher on made-up fingers: every pair of presses of one finger
// (genuine) and the first presses of every two fingers (impostor), at threshold 10.
//   minutiae_accuracy [fingers=100] [presses=8] [seed=1]

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "AccuracyTable.h"
#include "MinutiaeMatcher.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int kThreshold = 10;

TPressConditions RealisticPress(std::mt19937& ARandom) {
  TPressConditions conditions;
  conditions.MaxRotationDegrees = 30;
  conditions.WindowArea = std::uniform_real_distribution<float>(0.6f, 1.0f)(ARandom);
  return conditions;
}

}  // namespace

int main(int argc, char** argv) {
  const int fingers = argc > 1 ? std::atoi(argv[1]) : 100;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 8;
  std::mt19937 random(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);

  std::vector<std::vector<TPreparedTemplate>> prepared(static_cast<std::size_t>(fingers));
  for (auto& finger : prepared) {
    const TMinutiaeTemplate master = MakeSyntheticFinger(random);
    for (int press = 0; press < presses; ++press) {
      finger.emplace_back(MakeSyntheticPress(master, RealisticPress(random), random));
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
  const auto eer = table.EqualErrorRate();
  std::printf("fingers %d x presses %d: %zu genuine, %zu impostor comparisons\n", fingers, presses,
              table.GenuineCount(), table.ImpostorCount());
  std::printf("threshold %d: FNMR %.2f %%, FMR %.3f %%\n", kThreshold,
              100 * table.FalseNonMatchRate(kThreshold), 100 * table.FalseMatchRate(kThreshold));
  std::printf("EER %.2f %% at threshold %d\n", 100 * eer.Rate, eer.Threshold);
  std::printf("genuine scores: 1%% %d, 5%% %d, 50%% %d; impostor scores: 99%% %d, 99.9%% %d, max %d\n",
              table.GenuineQuantile(0.01), table.GenuineQuantile(0.05), table.GenuineQuantile(0.5),
              table.ImpostorQuantile(0.99), table.ImpostorQuantile(0.999), table.ImpostorQuantile(1.0));
  return 0;
}
