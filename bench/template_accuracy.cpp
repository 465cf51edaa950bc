// template_accuracy: the minutiae matcher on presses that press_templates wrote, real or
// generated. Per set: every press against every other (the matcher alone), and each finger
// enrolled from presses 1-3 against presses 4-8 of every finger, with the enrolment kept as
// separate samples (scores fused) and merged into one template. Prints FNMR and FMR at the
// engine's threshold, the EER, FNMR where FMR falls to 0.1 %, rank-1 identification and timings.
//
//   template_accuracy ROLE:NAME=FILE[:FIRST-LAST] ...
//     ROLE calibrate: data the score mapping was chosen on; its raw impostor scores are printed
//                     at several false match rates, to set the mapping from;
//          report:    data kept apart from any choice, the figures that count;
//          strangers: presses of fingers found in no other set, each its own finger: none
//                     may be identified among any set's enrolments.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "AccuracyTable.h"
#include "EnrollmentMerge.h"
#include "MatchEvidence.h"
#include "MinutiaeAlignment.h"
#include "MinutiaeMatcher.h"
#include "ReaderScore.h"
#include "SampleFusion.h"
#include "Stopwatch.h"
#include "TemplateSet.h"

namespace {

constexpr int kThreshold = 10;
constexpr int kLastEnrolPress = 3;

struct TSetArgument {
  std::string Role;
  std::string Name;
  std::string Path;
  int FirstFinger = 0;
  int LastFinger = 1 << 30;
};

TSetArgument ParseSetArgument(const std::string& AArgument) {
  TSetArgument set;
  const auto colon = AArgument.find(':');
  const auto equals = AArgument.find('=');
  if (colon == std::string::npos || equals == std::string::npos || equals < colon)
    throw std::runtime_error("not ROLE:NAME=FILE[:FIRST-LAST]: " + AArgument);
  set.Role = AArgument.substr(0, colon);
  if (set.Role != "calibrate" && set.Role != "report" && set.Role != "strangers")
    throw std::runtime_error("unknown role " + set.Role);
  set.Name = AArgument.substr(colon + 1, equals - colon - 1);
  set.Path = AArgument.substr(equals + 1);
  const auto range = set.Path.rfind(':');
  if (range != std::string::npos) {
    const std::string fingers = set.Path.substr(range + 1);
    set.Path.resize(range);
    const auto dash = fingers.find('-');
    set.FirstFinger = std::stoi(fingers.substr(0, dash));
    set.LastFinger = dash == std::string::npos ? set.FirstFinger : std::stoi(fingers.substr(dash + 1));
  }
  return set;
}

// Scores of one set: the matcher's raw scores of every ordered pair of presses, and each
// enrolment against every probe in both enrolment forms.
struct TScoredSet {
  TSetArgument Set;
  std::vector<TTemplatePress> Presses;
  std::vector<TPreparedTemplate> Prepared;
  // Presses x Presses, enrolled row: the matcher's scores and the evidence weights they come from.
  std::vector<int32_t> Scores;
  std::vector<float> Weights;
  std::vector<int> Fingers;  // enrolled fingers
  std::vector<std::vector<std::size_t>> Samples;  // per enrolled finger
  std::vector<TPreparedTemplate> Merged;          // per enrolled finger
  std::vector<std::size_t> Probes;
  double PreparedComparisonMicroseconds = 0;
  double FullComparisonMicroseconds = 0;

  int32_t Score(std::size_t AEnrolled, std::size_t AProbe) const {
    return Scores[AEnrolled * Presses.size() + AProbe];
  }
  float Weight(std::size_t AEnrolled, std::size_t AProbe) const {
    return Weights[AEnrolled * Presses.size() + AProbe];
  }
  int32_t SampleScore(std::size_t AFinger, std::size_t AProbe) const {
    std::vector<int32_t> scores;
    for (std::size_t sample : Samples[AFinger])
      scores.push_back(Score(sample, AProbe));
    return FuseSampleScores(scores);
  }
  int32_t MergedScore(std::size_t AFinger, std::size_t AProbe) const {
    return ReaderScore(Merged[AFinger], Prepared[AProbe]);
  }
};

TScoredSet ScoreSet(const TSetArgument& ASet) {
  TScoredSet set;
  set.Set = ASet;
  set.Presses = ReadTemplatePresses(ASet.Path, ASet.FirstFinger, ASet.LastFinger);
  for (const TTemplatePress& press : set.Presses) set.Prepared.emplace_back(press.Template);
  const std::size_t count = set.Presses.size();
  set.Scores.assign(count * count, 0);
  set.Weights.assign(count * count, 0);
  // What CompareMinutiae does, keeping the weight for calibration.
  for (std::size_t a = 0; a < count; ++a) {
    for (std::size_t b = 0; b < count; ++b) {
      if (a == b) continue;
      const TMatchEvidence evidence = MeasureMatchEvidence(
          set.Prepared[a], set.Prepared[b], AlignMinutiae(set.Prepared[a], set.Prepared[b]));
      set.Scores[a * count + b] = ScoreMatchEvidence(evidence);
      set.Weights[a * count + b] = static_cast<float>(WeighMatchEvidence(evidence));
    }
  }
  const std::size_t runs = std::min<std::size_t>(20000, count * (count - 1));
  int32_t sink = 0;
  const TElapsed prepared = TimeWork([&] {
    for (std::size_t run = 0; run < runs; ++run) {
      const std::size_t a = run % count, b = (a + 1 + run / count) % count;
      sink += CompareMinutiae(set.Prepared[a], set.Prepared[b]);
    }
  });
  set.PreparedComparisonMicroseconds =
      prepared.ProcessorMicroseconds / static_cast<double>(std::max<std::size_t>(1, runs));
  // Decoding and preparing both texts each time, as a 1:1 verification of two texts does.
  const std::size_t fullRuns = std::min<std::size_t>(2000, count * (count - 1));
  const TElapsed full = TimeWork([&] {
    for (std::size_t run = 0; run < fullRuns; ++run) {
      const std::size_t a = run % count, b = (a + 1 + run / count) % count;
      const auto enrolled = DecodeMinutiaeTemplate(set.Presses[a].Text);
      const auto probe = DecodeMinutiaeTemplate(set.Presses[b].Text);
      sink += CompareMinutiae(TPreparedTemplate(*enrolled), TPreparedTemplate(*probe));
    }
  });
  if (sink < 0) std::printf("(impossible score sum)\n");
  set.FullComparisonMicroseconds =
      full.ProcessorMicroseconds / static_cast<double>(std::max<std::size_t>(1, fullRuns));
  std::map<int, std::vector<std::size_t>> samples;
  for (std::size_t i = 0; i < count; ++i) {
    if (set.Presses[i].Press <= kLastEnrolPress) {
      samples[set.Presses[i].Finger].push_back(i);
    } else {
      set.Probes.push_back(i);
    }
  }
  for (const auto& [finger, indices] : samples) {
    set.Fingers.push_back(finger);
    set.Samples.push_back(indices);
    std::vector<TMinutiaeTemplate> templates;
    for (std::size_t index : indices) templates.push_back(set.Presses[index].Template);
    set.Merged.emplace_back(MergeEnrollment(templates));
  }
  return set;
}

struct TModeFigures {
  TAccuracyTable Table;
  int Identified = 0;
  int Identifications = 0;
};

void PrintHeader() {
  std::printf("  %-16s %8s %9s %8s %8s %7s %12s %10s %7s %6s %6s\n", "", "genuine", "impostor",
              "FNMR@10", "FMR@10", "EER", "FNMR@0.1%FMR", "FNMR@cal", "ident", "imp99.9",
              "impmax");
}

// ACalibrated: the threshold at which the calibration sets' impostors of this mode fall to
// 0.1 %, the one a recalibration would give; FNMR@0.1%FMR uses the set's own impostors instead.
void PrintMode(const char* AMode, const TModeFigures& AFigures, int ACalibrated) {
  const TAccuracyTable& table = AFigures.Table;
  const int strict = table.ThresholdForFalseMatchRate(0.001);
  std::printf("  %-16s %8zu %9zu %7.2f%% %7.3f%% %6.2f%% %11.2f%% %6.2f%%@%-2d ", AMode,
              table.GenuineCount(), table.ImpostorCount(), 100 * table.FalseNonMatchRate(kThreshold),
              100 * table.FalseMatchRate(kThreshold), 100 * table.EqualErrorRate().Rate,
              100 * table.FalseNonMatchRate(strict), 100 * table.FalseNonMatchRate(ACalibrated),
              ACalibrated);
  if (AFigures.Identifications > 0) {
    std::printf("%6.1f%% ", 100.0 * AFigures.Identified / AFigures.Identifications);
  } else {
    std::printf("%7s ", "-");
  }
  std::printf("%6d %6d\n", table.ImpostorQuantile(0.999), table.ImpostorQuantile(1.0));
}

TModeFigures PressAgainstPress(const TScoredSet& ASet) {
  TModeFigures figures;
  for (std::size_t a = 0; a < ASet.Presses.size(); ++a) {
    for (std::size_t b = a + 1; b < ASet.Presses.size(); ++b) {
      const int32_t score = ASet.Score(a, b);
      if (ASet.Presses[a].Finger == ASet.Presses[b].Finger) {
        figures.Table.AddGenuine(score);
      } else {
        figures.Table.AddImpostor(score);
      }
    }
  }
  return figures;
}

// An enrolment form against every probe; a probe is identified when its own finger's score
// reaches the threshold and beats every other enrolment of the set.
template <class TScore>
TModeFigures EnrolmentAgainstProbe(const TScoredSet& ASet, TScore AScore) {
  TModeFigures figures;
  for (std::size_t probe : ASet.Probes) {
    int32_t own = -1, bestOther = -1;
    for (std::size_t finger = 0; finger < ASet.Fingers.size(); ++finger) {
      const int32_t score = AScore(finger, probe);
      if (ASet.Fingers[finger] == ASet.Presses[probe].Finger) {
        figures.Table.AddGenuine(score);
        own = score;
      } else {
        figures.Table.AddImpostor(score);
        bestOther = std::max(bestOther, score);
      }
    }
    if (own < 0) continue;
    ++figures.Identifications;
    if (own >= kThreshold && own > bestOther) ++figures.Identified;
  }
  return figures;
}

void Merge(TModeFigures& AInto, const TModeFigures& AFrom) {
  for (int score : AFrom.Table.GenuineScores()) AInto.Table.AddGenuine(score);
  for (int score : AFrom.Table.ImpostorScores()) AInto.Table.AddImpostor(score);
  AInto.Identified += AFrom.Identified;
  AInto.Identifications += AFrom.Identifications;
}

struct TSetFigures {
  TModeFigures Press, Samples, MergedEnrolment;

  void Add(const TSetFigures& AOther) {
    Merge(Press, AOther.Press);
    Merge(Samples, AOther.Samples);
    Merge(MergedEnrolment, AOther.MergedEnrolment);
  }
  void Print(const TSetFigures& ACalibration) const {
    const auto calibrated = [](const TModeFigures& A) {
      return A.Table.ThresholdForFalseMatchRate(0.001);
    };
    PrintHeader();
    PrintMode("press vs press", Press, calibrated(ACalibration.Press));
    PrintMode("3 samples fused", Samples, calibrated(ACalibration.Samples));
    PrintMode("3 merged", MergedEnrolment, calibrated(ACalibration.MergedEnrolment));
  }
};

TSetFigures MeasureSet(const TScoredSet& ASet) {
  return {
      PressAgainstPress(ASet),
      EnrolmentAgainstProbe(ASet, [&](std::size_t F, std::size_t P) { return ASet.SampleScore(F, P); }),
      EnrolmentAgainstProbe(ASet, [&](std::size_t F, std::size_t P) { return ASet.MergedScore(F, P); })};
}

void PrintSetTitle(const TScoredSet& ASet) {
  double minutiae = 0;
  for (const TTemplatePress& press : ASet.Presses) minutiae += static_cast<double>(press.Template.Minutiae.size());
  std::printf("%s %s (fingers %d-%d of %s): %zu presses, %.1f minutiae each; %.1f us per prepared "
              "comparison, %.1f us decoding and preparing both\n",
              ASet.Set.Role.c_str(), ASet.Set.Name.c_str(), ASet.Set.FirstFinger,
              std::min(ASet.Set.LastFinger, ASet.Fingers.empty() ? 0 : ASet.Fingers.back()),
              ASet.Set.Path.c_str(), ASet.Presses.size(),
              minutiae / static_cast<double>(std::max<std::size_t>(1, ASet.Presses.size())),
              ASet.PreparedComparisonMicroseconds, ASet.FullComparisonMicroseconds);
}

// The evidence weights that impostor press pairs reach at falling false match rates: where
// MatchEvidence.cpp puts the steps of its score.
void PrintCalibration(const std::vector<const TScoredSet*>& ASets) {
  std::vector<float> impostor;
  for (const TScoredSet* set : ASets) {
    for (std::size_t a = 0; a < set->Presses.size(); ++a) {
      for (std::size_t b = 0; b < set->Presses.size(); ++b) {
        if (a != b && set->Presses[a].Finger != set->Presses[b].Finger)
          impostor.push_back(set->Weight(a, b));
      }
    }
  }
  std::sort(impostor.begin(), impostor.end(), std::greater<>());
  std::printf("calibration: %zu impostor press pairs (both orders); raw score reached by a share "
              "of them (weight, score):\n ",
              impostor.size());
  for (double rate = 0.1; rate * static_cast<double>(impostor.size()) >= 1; rate /= std::sqrt(10.0)) {
    const auto index = static_cast<std::size_t>(rate * static_cast<double>(impostor.size())) - 1;
    std::printf(" %.1e:%.1f,%d", rate, impostor[index], static_cast<int>(std::floor(ScoreOfEvidenceWeight(impostor[index]))));
  }
  std::printf("  max:%.1f\n", impostor.empty() ? 0 : impostor.front());
  // Chance agreement grows with the minutiae of both templates: the same by their size.
  const std::vector<double> sizeBins{0, 25, 35, 50, 70, 100, 1e9};
  std::vector<std::vector<float>> bySize(sizeBins.size() - 1);
  for (const TScoredSet* set : ASets) {
    for (std::size_t a = 0; a < set->Presses.size(); ++a) {
      for (std::size_t b = 0; b < set->Presses.size(); ++b) {
        if (a == b || set->Presses[a].Finger == set->Presses[b].Finger) continue;
        const double size = std::sqrt(static_cast<double>(set->Presses[a].Template.Minutiae.size() *
                                                          set->Presses[b].Template.Minutiae.size()));
        const auto bin = std::upper_bound(sizeBins.begin(), sizeBins.end(), size) - sizeBins.begin() - 1;
        bySize[static_cast<std::size_t>(bin)].push_back(set->Weight(a, b));
      }
    }
  }
  for (std::size_t bin = 0; bin < bySize.size(); ++bin) {
    std::vector<float>& scores = bySize[bin];
    if (scores.empty()) continue;
    std::sort(scores.begin(), scores.end(), std::greater<>());
    const auto at = [&](double ARate) {
      return scores[std::min(scores.size() - 1, static_cast<std::size_t>(ARate * static_cast<double>(scores.size())))];
    };
    std::printf("  size %3.0f..%3.0f: %7zu pairs, 1e-2:%.1f 1e-3:%.1f max:%.1f\n", sizeBins[bin],
                std::min(999.0, sizeBins[bin + 1]), scores.size(), at(0.01), at(0.001), scores.front());
  }
}

void ReportStrangers(const TScoredSet& AStrangers, const std::vector<TScoredSet>& ASets) {
  int best = 0, identified = 0, comparisons = 0;
  for (std::size_t a = 0; a < AStrangers.Presses.size(); ++a) {
    for (std::size_t b = 0; b < AStrangers.Presses.size(); ++b) {
      if (a == b) continue;
      const int32_t score = AStrangers.Score(a, b);
      best = std::max(best, score);
      identified += score >= kThreshold;
      ++comparisons;
    }
    for (const TScoredSet& set : ASets) {
      if (&set == &AStrangers) continue;
      for (std::size_t finger = 0; finger < set.Samples.size(); ++finger) {
        std::vector<int32_t> scores;
        for (std::size_t sample : set.Samples[finger])
          scores.push_back(ReaderScore(set.Prepared[sample], AStrangers.Prepared[a]));
        const int32_t score = FuseSampleScores(scores);
        best = std::max(best, score);
        identified += score >= kThreshold;
        ++comparisons;
      }
    }
  }
  std::printf("strangers %s: %zu presses against each other and every enrolment: %d "
              "comparisons, %d at or above %d, best score %d\n",
              AStrangers.Set.Name.c_str(), AStrangers.Presses.size(), comparisons, identified,
              kThreshold, best);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: template_accuracy ROLE:NAME=FILE[:FIRST-LAST] ...\n");
    return 2;
  }
  try {
    std::vector<TScoredSet> sets;
    for (int i = 1; i < argc; ++i) sets.push_back(ScoreSet(ParseSetArgument(argv[i])));
    std::map<std::string, TSetFigures> pooled;
    std::vector<const TScoredSet*> calibration;
    std::vector<TSetFigures> figures;
    for (const TScoredSet& set : sets) {
      figures.push_back(MeasureSet(set));
      if (set.Set.Role == "strangers") continue;
      if (set.Set.Role == "calibrate") calibration.push_back(&set);
      pooled[set.Set.Role].Add(figures.back());
    }
    const TSetFigures& calibrationFigures = pooled["calibrate"];
    for (std::size_t i = 0; i < sets.size(); ++i) {
      if (sets[i].Set.Role == "strangers") continue;
      PrintSetTitle(sets[i]);
      figures[i].Print(calibrationFigures);
    }
    for (const auto& [role, roleFigures] : pooled) {
      std::printf("all %s sets together\n", role.c_str());
      roleFigures.Print(calibrationFigures);
    }
    if (!calibration.empty()) PrintCalibration(calibration);
    for (const TScoredSet& set : sets) {
      if (set.Set.Role == "strangers") ReportStrangers(set, sets);
    }
  } catch (const std::exception& AError) {
    std::fprintf(stderr, "template_accuracy: %s\n", AError.what());
    return 1;
  }
  return 0;
}
