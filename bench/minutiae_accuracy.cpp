// Accuracy of the minutiae matcher on made-up fingers, at threshold 10:
//  - press against press: every pair of presses of one finger (genuine) and the first presses of
//    every two fingers (impostor);
//  - enrolment against press: the first three presses merged, against each later press of the
//    same finger and the first later press of every other finger.
//
//   minutiae_accuracy [name=value ...]
//     fingers=100 presses=8 seed=1          the data set
//     fewest=30 most=60                     minutiae per finger
//     rotation=30 shift=30                  spread of turns (degrees) and shifts (pixels)
//     distortion=0.03 noise=2 direction=8   skin stretch, extractor noise (pixels, degrees)
//     drop=0.2 spurious=0.1                 shares of minutiae missed and spuriously added
//     window=0.6                            presses see a random 60..100 % of the frame

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "AccuracyTable.h"
#include "EnrollmentMerge.h"
#include "MinutiaeMatcher.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int kThreshold = 10;
constexpr std::size_t kEnrolPresses = 3;

struct TSettings {
  std::map<std::string, double> Values = {
      {"fingers", 100}, {"presses", 8},     {"seed", 1},   {"rotation", 30}, {"shift", 30},
      {"distortion", 0.03}, {"noise", 2}, {"direction", 8}, {"drop", 0.2},  {"spurious", 0.1},
      {"window", 0.6}, {"fewest", 30},   {"most", 60}};

  bool Parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
      const std::string argument = argv[i];
      const auto equals = argument.find('=');
      if (equals == std::string::npos || !Values.contains(argument.substr(0, equals))) return false;
      Values[argument.substr(0, equals)] = std::atof(argument.c_str() + equals + 1);
    }
    return true;
  }
  int Count(const char* AName) const { return static_cast<int>(Values.at(AName)); }
  float Value(const char* AName) const { return static_cast<float>(Values.at(AName)); }
};

TPressConditions PressConditions(const TSettings& ASettings, std::mt19937& ARandom) {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = ASettings.Value("rotation");
  conditions.MaxShift = ASettings.Value("shift");
  conditions.Distortion = ASettings.Value("distortion");
  conditions.PositionNoise = ASettings.Value("noise");
  conditions.DirectionNoiseDegrees = ASettings.Value("direction");
  conditions.DropRate = ASettings.Value("drop");
  conditions.SpuriousRate = ASettings.Value("spurious");
  conditions.WindowArea = std::uniform_real_distribution<float>(ASettings.Value("window"), 1.0f)(ARandom);
  return conditions;
}

void Report(const char* ATitle, const TAccuracyTable& ATable) {
  const auto eer = ATable.EqualErrorRate();
  const int strictThreshold = ATable.ThresholdForFalseMatchRate(0.001);
  std::printf("%s: %zu genuine, %zu impostor comparisons\n", ATitle, ATable.GenuineCount(),
              ATable.ImpostorCount());
  std::printf("  threshold %d: FNMR %.2f %%, FMR %.3f %%; EER %.2f %% at threshold %d\n", kThreshold,
              100 * ATable.FalseNonMatchRate(kThreshold), 100 * ATable.FalseMatchRate(kThreshold),
              100 * eer.Rate, eer.Threshold);
  std::printf("  FMR <= 0.1 %% from threshold %d, FNMR there %.2f %%\n", strictThreshold,
              100 * ATable.FalseNonMatchRate(strictThreshold));
  std::printf("  genuine scores: 1%% %d, 5%% %d, 50%% %d; impostor scores: 99%% %d, 99.9%% %d, max %d\n",
              ATable.GenuineQuantile(0.01), ATable.GenuineQuantile(0.05), ATable.GenuineQuantile(0.5),
              ATable.ImpostorQuantile(0.99), ATable.ImpostorQuantile(0.999), ATable.ImpostorQuantile(1.0));
}

using TFingerPresses = std::vector<std::vector<TMinutiaeTemplate>>;

TAccuracyTable PressAgainstPress(const std::vector<std::vector<TPreparedTemplate>>& APrepared) {
  TAccuracyTable table;
  for (const auto& finger : APrepared) {
    for (std::size_t a = 0; a < finger.size(); ++a) {
      for (std::size_t b = a + 1; b < finger.size(); ++b) table.AddGenuine(CompareMinutiae(finger[a], finger[b]));
    }
  }
  for (std::size_t a = 0; a < APrepared.size(); ++a) {
    for (std::size_t b = a + 1; b < APrepared.size(); ++b) {
      table.AddImpostor(CompareMinutiae(APrepared[a][0], APrepared[b][0]));
    }
  }
  return table;
}

TAccuracyTable EnrolmentAgainstPress(const TFingerPresses& APresses,
                                     const std::vector<std::vector<TPreparedTemplate>>& APrepared) {
  std::vector<TPreparedTemplate> enrolled;
  for (const auto& finger : APresses) {
    enrolled.emplace_back(MergeEnrollment(std::span(finger).first(std::min(kEnrolPresses, finger.size()))));
  }
  TAccuracyTable table;
  for (std::size_t a = 0; a < enrolled.size(); ++a) {
    for (std::size_t b = 0; b < APrepared.size(); ++b) {
      for (std::size_t press = kEnrolPresses; press < APrepared[b].size(); ++press) {
        if (a == b) {
          table.AddGenuine(CompareMinutiae(enrolled[a], APrepared[b][press]));
        } else if (press == kEnrolPresses) {
          table.AddImpostor(CompareMinutiae(enrolled[a], APrepared[b][press]));
        }
      }
    }
  }
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  TSettings settings;
  if (!settings.Parse(argc, argv)) {
    std::fprintf(stderr, "usage: minutiae_accuracy [name=value ...], names as in the source\n");
    return 2;
  }
  std::mt19937 random(static_cast<unsigned>(settings.Count("seed")));
  TFingerPresses presses(static_cast<std::size_t>(settings.Count("fingers")));
  std::vector<std::vector<TPreparedTemplate>> prepared(presses.size());
  for (std::size_t i = 0; i < presses.size(); ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random, settings.Count("fewest"), settings.Count("most"));
    for (int press = 0; press < settings.Count("presses"); ++press) {
      presses[i].push_back(MakeSyntheticPress(finger, PressConditions(settings, random), random));
      prepared[i].emplace_back(presses[i].back());
    }
  }
  Report("press against press", PressAgainstPress(prepared));
  Report("enrolment of 3 presses against press", EnrolmentAgainstPress(presses, prepared));
  return 0;
}
