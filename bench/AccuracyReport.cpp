#include "AccuracyReport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr double kFalseMatchTarget = 0.001;
constexpr double kComparisonGoalMicroseconds = 100;
constexpr double kIdentificationGoalMilliseconds = 20;
constexpr double kCaptureGoalMilliseconds = 100;
constexpr double kPoorPressGoal = 0.10;
constexpr double kFnmrShareOfLibfprint = 0.5;

std::string Format(const char* AFormat, auto... AValues) {
  char text[256];
  std::snprintf(text, sizeof text, AFormat, AValues...);
  return text;
}

std::string Percent(double AShare) {
  return Format("%.2f %%", 100 * AShare);
}
std::string Verdict(bool AMet) {
  return AMet ? "met" : "MISSED";
}
std::string Verdict(bool AMeasured, bool AMet) {
  return AMeasured ? Verdict(AMet) : "not measured";
}
constexpr const char* kNoImpostors = "- (no impostor pair scored)";
const char* Json(bool AValue) {
  return AValue ? "true" : "false";
}
double Share(long APart, long AWhole) {
  return AWhole > 0 ? static_cast<double>(APart) / static_cast<double>(AWhole) : 0;
}

void Row(const std::string& AMeasure, const std::string& AOurs, const std::string& AUsual,
         const std::string& ASame, const std::string& AGoal) {
  std::printf("| %s | %s | %s | %s | %s |\n", AMeasure.c_str(), AOurs.c_str(), AUsual.c_str(),
              ASame.c_str(), AGoal.c_str());
}

// Our figures set against one libfprint protocol's, over one group of fingers.
struct TVersus {
  TFprintRates Theirs;
  int MatchedThreshold = 0;  // ours, where our FMR is at most theirs
  double OurFnmrAtTheirFmr = 0;
  double OurFmrAtTheirFmr = 0;
  bool AccuracyMet = false;  // at our threshold: FMR at most theirs, FNMR at most half theirs
  bool IdentificationMet = false;
};

// Every accuracy figure of one group of fingers, computed once.
struct TGroupFigures {
  TFingerRange Range;
  TTessivaAccuracy Ours;
  bool HasImpostors = false;  // else no rate at a false match rate means anything
  double OurFnmr = 0, OurFmr = 0;
  double OurEnrolledFnmr = 0;  // the matcher alone: without the fingers the engine did not enrol
  int TargetThreshold = 0;
  double OurFnmrAtTarget = 0;
  TAccuracyTable::TEqualError Eer;
  double BestScoreIdentification = 0;
  double FirstMatchIdentification = 0;
  std::array<TVersus, 2> Versus;  // libfprint as it enrols, then with our presses

  TGroupFigures(const TAccuracyRun& ARun, const TFingerRange& ARange)
      : Range(ARange),
        Ours(SummariseTessivaScores(ARun.Scores, ARange, ARun.Threshold, ARun.GallerySize,
                                    ARun.GallerySeed)) {
    const TAccuracyTable& table = Ours.Table;
    HasImpostors = table.ImpostorCount() > 0;
    OurFnmr = table.FalseNonMatchRate(ARun.Threshold);
    OurFmr = table.FalseMatchRate(ARun.Threshold);
    OurEnrolledFnmr = Ours.EnrolledTable.FalseNonMatchRate(ARun.Threshold);
    TargetThreshold = ThresholdAtFalseMatchRate(table, kFalseMatchTarget);
    OurFnmrAtTarget = table.FalseNonMatchRate(TargetThreshold);
    Eer = table.EqualErrorRate();
    int probes = 0, correct = 0;
    for (const TTessivaIdentification& identification : ARun.Identifications) {
      if (!ARange.Contains(identification.Finger)) continue;
      ++probes;
      correct += identification.Correct ? 1 : 0;
    }
    BestScoreIdentification = Share(correct, probes);
    FirstMatchIdentification = Share(Ours.FirstMatches, Ours.Probes);
    const std::array<const TFprintAccuracy*, 2> theirs{&ARun.FprintUsual, &ARun.FprintSame};
    for (std::size_t i = 0; i < theirs.size(); ++i) {
      TVersus& versus = Versus[i];
      versus.Theirs = FprintRates(*theirs[i], ARange);
      versus.MatchedThreshold = ThresholdAtFalseMatchRate(table, versus.Theirs.FalseMatchRate);
      versus.OurFnmrAtTheirFmr = table.FalseNonMatchRate(versus.MatchedThreshold);
      versus.OurFmrAtTheirFmr = table.FalseMatchRate(versus.MatchedThreshold);
      versus.AccuracyMet = HasImpostors && OurFmr <= versus.Theirs.FalseMatchRate &&
                           OurFnmr <= kFnmrShareOfLibfprint * versus.Theirs.FalseNonMatchRate;
      versus.IdentificationMet = BestScoreIdentification >= versus.Theirs.IdentificationRate;
    }
  }
};

// Figures of the whole set: enrolment as a person makes it, strangers, speed.
struct TSetFigures {
  int Enrolled = 0;
  double PressesPerEnrolment = 0;  // of those enrolled
  double PoorPresses = 0;
  TTimings OurPressToResult;
  TTimings TheirVerify, TheirIdentify, TheirSameIdentify;
  bool EnrolmentMet, PoorPressMet, StrangerMet, ComparisonMet, IdentificationMet, CaptureMet;
  bool StrangersTried, ComparisonsMade,
      IdentificationsMade;  // else nothing to measure: no template to try

  explicit TSetFigures(const TAccuracyRun& ARun) {
    int presses = 0;
    for (const TTessivaEnrolment& enrolment : ARun.Templates.Enrolments) {
      if (enrolment.Template.Text.empty()) continue;
      ++Enrolled;
      presses += enrolment.Presses;
    }
    PressesPerEnrolment = Share(presses, Enrolled);
    PoorPresses = Share(ARun.Templates.PoorPresses, ARun.Templates.Presses);
    // Press to OnCapture, then the identification of what it gave; presses without template
    // are left out, being answered sooner.
    std::vector<double> toResult;
    const std::vector<double>& captures = ARun.Templates.CaptureToEventMilliseconds;
    for (std::size_t i = 0; i < captures.size() && i < ARun.Identifications.size(); ++i) {
      if (ARun.Identifications[i].Tried)
        toResult.push_back(captures[i] + ARun.Identifications[i].Milliseconds);
    }
    OurPressToResult = SummariseTimings(toResult, 95);
    TheirVerify = SummariseTimings(ARun.FprintUsual.VerifyMilliseconds, 95);
    TheirIdentify = SummariseTimings(ARun.FprintUsual.IdentifyMilliseconds, 95);
    TheirSameIdentify = SummariseTimings(ARun.FprintSame.IdentifyMilliseconds, 95);
    EnrolmentMet = Enrolled == ARun.Fingers;
    PoorPressMet = PoorPresses <= kPoorPressGoal;
    StrangersTried = ARun.Strangers.Probes > 0 && ARun.Strangers.EnrolledFingers > 0;
    StrangerMet = ARun.Strangers.ProbesIdentified == 0;
    ComparisonsMade = ARun.Speed.Comparison.Wall.Mean > 0;
    IdentificationsMade = ARun.Speed.Identification.Wall.Mean > 0;
    ComparisonMet = 1000 * ARun.Speed.Comparison.Wall.Mean < kComparisonGoalMicroseconds;
    IdentificationMet = ARun.Speed.Identification.Wall.Mean < kIdentificationGoalMilliseconds;
    CaptureMet = SummariseTimings(ARun.Templates.CaptureToEventMilliseconds, 95).Mean <
                 kCaptureGoalMilliseconds;
  }
};

std::string Protocol(const TFprintAccuracy& ATheirs, int AImpressions) {
  return Format("enrol presses 1-%d, probe %d-%d", ATheirs.EnrolPresses, ATheirs.EnrolPresses + 1,
                AImpressions);
}

void PrintGroup(const TAccuracyRun& ARun, const TGroupFigures& AGroup, bool AWholeSet) {
  const TTessivaAccuracy& ours = AGroup.Ours;
  const auto both = [&](auto AShow) {
    return std::array{AShow(AGroup.Versus[0]), AShow(AGroup.Versus[1])};
  };
  const auto row = [&](const std::string& AMeasure, const std::string& AOurs,
                       const std::array<std::string, 2>& ATheirs, const std::string& AGoal) {
    Row(AMeasure, AOurs, ATheirs[0], ATheirs[1], AGoal);
  };
  Row(AWholeSet
          ? Format("**fingers %s (all)**", AGroup.Range.Text().c_str())
          : Format("**fingers %s only (not used to calibrate)**", AGroup.Range.Text().c_str()),
      "", "", "", "");
  row("genuine / impostor pairs",
      Format("%zu / %zu", ours.Table.GenuineCount(), ours.Table.ImpostorCount()),
      both(
          [](const TVersus& A) { return Format("%d / %ld", A.Theirs.Genuine, A.Theirs.Impostor); }),
      "");
  row("failed enrolments / probe presses without template",
      Format("%d / %d of %d", ours.FailedEnrolments, ours.FailedCaptures, ours.Probes),
      both([](const TVersus& A) { return Format("%d", A.Theirs.FailedEnrolments); }), "");
  row("FNMR / FMR at the operating point",
      Format("%s / %s (score >= %d)", Percent(AGroup.OurFnmr).c_str(),
             Percent(AGroup.OurFmr).c_str(), ARun.Threshold),
      both([](const TVersus& A) {
        return Percent(A.Theirs.FalseNonMatchRate) + " / " + Percent(A.Theirs.FalseMatchRate) +
               " (bozorth3 threshold)";
      }),
      "");
  row("the same FNMR, enrolled fingers only (the matcher alone)",
      Format("%s of %zu genuine pairs", Percent(AGroup.OurEnrolledFnmr).c_str(),
             ours.EnrolledTable.GenuineCount()),
      {"", ""}, "");
  const auto scored = [&](const std::string& AText) {
    return AGroup.HasImpostors ? AText : kNoImpostors;
  };
  row("Tessiva's FNMR at FMR <= this libfprint's", "", both([&](const TVersus& A) {
        return scored(Format("%s (score >= %d, FMR %s)", Percent(A.OurFnmrAtTheirFmr).c_str(),
                             A.MatchedThreshold, Percent(A.OurFmrAtTheirFmr).c_str()));
      }),
      "");
  row(Format("at threshold %d: FMR <= libfprint's and FNMR <= half libfprint's", ARun.Threshold),
      "", both([](const TVersus& A) { return Verdict(A.AccuracyMet); }),
      Verdict(AGroup.Versus[0].AccuracyMet && AGroup.Versus[1].AccuracyMet));
  row("FNMR at FMR 0.1 %",
      scored(Format("%s (score >= %d)", Percent(AGroup.OurFnmrAtTarget).c_str(),
                    AGroup.TargetThreshold)),
      {"- (no score)", "- (no score)"}, "");
  row("EER",
      scored(Format("%s (score %d)", Percent(AGroup.Eer.Rate).c_str(), AGroup.Eer.Threshold)),
      {"", ""}, "");
  row("genuine scores 1 % / 5 % / 50 %; impostor 99 % / 99.9 % / max",
      scored(Format("%d / %d / %d; %d / %d / %d", ours.Table.GenuineQuantile(0.01),
                    ours.Table.GenuineQuantile(0.05), ours.Table.GenuineQuantile(0.5),
                    ours.Table.ImpostorQuantile(0.99), ours.Table.ImpostorQuantile(0.999),
                    ours.Table.ImpostorQuantile(1.0))),
      {"", ""}, "");
  row(Format("identification in %d enrolled fingers, gallery in random order (seed %u)",
             ARun.GallerySize, ARun.GallerySeed),
      Percent(AGroup.BestScoreIdentification) + " (best score, the engine's 1:N cache)",
      both(
          [](const TVersus& A) { return Percent(A.Theirs.IdentificationRate) + " (first match)"; }),
      "at least libfprint's: " +
          Verdict(AGroup.Versus[0].IdentificationMet && AGroup.Versus[1].IdentificationMet));
  row("the same, first enrolment at or above the threshold in the gallery's order",
      Percent(AGroup.FirstMatchIdentification) + " (first match)", {"", ""}, "");
}

void PrintTable(const TAccuracyRun& ARun, const std::vector<TGroupFigures>& AGroups,
                const TSetFigures& ASet) {
  std::printf(
      "### %s\n\n%s; %d fingers x %d impressions; %.0f s, load average %.1f on %u cores\n%s\n\n",
      ARun.Name.c_str(), ARun.Description.c_str(), ARun.Fingers, ARun.Impressions, ARun.Seconds,
      ARun.LoadAverage, std::thread::hardware_concurrency(), ARun.Calibration.c_str());
  Row("measure", "Tessiva", "libfprint, its own enrolment", "libfprint, our presses", "goal");
  Row("---", "---", "---", "---", "---");
  Row("protocol",
      Format("enrol presses 1-%d (the engine counts %d usable ones), probe %d-%d",
             ARun.Protocol.EnrolPresses, ARun.Protocol.EnrolPresses, ARun.Protocol.EnrolPresses + 1,
             ARun.Impressions),
      Protocol(ARun.FprintUsual, ARun.Impressions), Protocol(ARun.FprintSame, ARun.Impressions),
      "");
  Row("readers used (a new one before libfprint's heat model stops it)",
      Format("%d", ARun.TessivaEngines), Format("%d", ARun.FprintUsual.ReaderRenewals + 1),
      Format("%d", ARun.FprintSame.ReaderRenewals + 1), "");
  for (std::size_t i = 0; i < AGroups.size(); ++i) PrintGroup(ARun, AGroups[i], i == 0);
  Row("**the whole set, through the engine's control interface (as the bridge drives it)**", "", "",
      "", "");
  Row(Format("fingers enrolled, pressed 1, 2, ... until the enrolment ends (at most %d presses)",
             ARun.Protocol.MostEnrolPresses),
      Format("%d of %d (%.1f presses each)", ASet.Enrolled, ARun.Fingers, ASet.PressesPerEnrolment),
      "", "", "every finger: " + Verdict(ASet.EnrolmentMet));
  Row("presses rated not good (OnFeatureInfo class other than 0)",
      Format("%d of %d (%s)", ARun.Templates.PoorPresses, ARun.Templates.Presses,
             Percent(ASet.PoorPresses).c_str()),
      "", "", "at most 10 %: " + Verdict(ASet.PoorPressMet));
  const TStrangerCheck& strangers = ARun.Strangers;
  Row(Format("strangers identified at the threshold (fingers %d-%d never enrolled, against the %d "
             "enrolled of 1-%d)",
             strangers.FirstStranger + 1, ARun.Fingers, strangers.EnrolledFingers,
             strangers.FirstStranger),
      Format("%d of %d fingers (%d of %d presses)", strangers.StrangersIdentified,
             strangers.StrangerFingers, strangers.ProbesIdentified, strangers.Probes),
      "", "", "none: " + Verdict(ASet.StrangersTried, ASet.StrangerMet));
  Row("minutiae per template, enrolled / probe",
      Format("%.0f / %.0f", ARun.Scores.EnrolledMinutiae, ARun.Scores.ProbeMinutiae),
      "- (not shown by libfprint)", "", "");
  const TEngineSpeed& speed = ARun.Speed;
  Row("one comparison (VerFingerFromStr), mean / p99",
      !ASet.ComparisonsMade
          ? "- (no enrolment to compare with)"
          : Format("%.0f / %.0f us (processor %.0f us)", 1000 * speed.Comparison.Wall.Mean,
                   1000 * speed.Comparison.Wall.Percentile, 1000 * speed.Comparison.ProcessorMean),
      "- (only with a press)", "",
      "under 100 us: " + Verdict(ASet.ComparisonsMade, ASet.ComparisonMet));
  Row(Format("identification in %d (IdentificationInFPCacheDB), mean / p95", speed.CacheSize),
      Format("%.1f / %.1f ms (processor %.1f ms)", speed.Identification.Wall.Mean,
             speed.Identification.Wall.Percentile, speed.Identification.ProcessorMean),
      "- (only with a press)", "",
      "under 20 ms: " + Verdict(ASet.IdentificationsMade, ASet.IdentificationMet));
  Row(Format("identification in %d, prepared form, mean / p95", speed.CacheSize),
      Format("%.1f / %.1f ms (processor %.1f ms)", speed.PreparedIdentification.Wall.Mean,
             speed.PreparedIdentification.Wall.Percentile,
             speed.PreparedIdentification.ProcessorMean),
      "", "", "");
  const TTimings capture = SummariseTimings(ARun.Templates.CaptureToEventMilliseconds, 95);
  Row("press to event, mean / p95",
      Format("%.0f / %.0f ms (to OnCapture)", capture.Mean, capture.Percentile),
      Format("%.0f / %.0f ms (to verify's result)", ASet.TheirVerify.Mean,
             ASet.TheirVerify.Percentile),
      "", "under 100 ms: " + Verdict(ASet.CaptureMet));
  Row(Format("press to identification in %d, mean / p95", ARun.GallerySize),
      Format("%.0f / %.0f ms (OnCapture, then the 1:N cache; presses with a template)",
             ASet.OurPressToResult.Mean, ASet.OurPressToResult.Percentile),
      Format("%.0f / %.0f ms", ASet.TheirIdentify.Mean, ASet.TheirIdentify.Percentile),
      Format("%.0f / %.0f ms", ASet.TheirSameIdentify.Mean, ASet.TheirSameIdentify.Percentile), "");
}

void PrintGroupJson(const TGroupFigures& AGroup) {
  // Rates at a false match rate mean nothing without impostor pairs: null then.
  const auto scored = [&](double ARate) {
    return AGroup.HasImpostors ? Format("%.5f", ARate) : std::string("null");
  };
  std::printf(
      "{\"fingers\":\"%s\",\"genuine\":%zu,\"impostor\":%zu,\"failed_enrolments\":%d,"
      "\"failed_captures\":%d,\"fnmr\":%.5f,\"fnmr_enrolled\":%.5f,\"fmr\":%.6f,"
      "\"fnmr_at_fmr_0_1\":%s,\"eer\":%s,"
      "\"identification_best\":%.5f,\"identification_first\":%.5f,\"libfprint\":[",
      AGroup.Range.Text().c_str(), AGroup.Ours.Table.GenuineCount(),
      AGroup.Ours.Table.ImpostorCount(), AGroup.Ours.FailedEnrolments, AGroup.Ours.FailedCaptures,
      AGroup.OurFnmr, AGroup.OurEnrolledFnmr, AGroup.OurFmr,
      scored(AGroup.OurFnmrAtTarget).c_str(), scored(AGroup.Eer.Rate).c_str(),
      AGroup.BestScoreIdentification, AGroup.FirstMatchIdentification);
  for (std::size_t i = 0; i < AGroup.Versus.size(); ++i) {
    const TVersus& versus = AGroup.Versus[i];
    std::printf(
        "%s{\"genuine\":%d,\"impostor\":%ld,\"failed_enrolments\":%d,\"fnmr\":%.5f,\"fmr\":%.6f,"
        "\"identification\":%.5f,\"tessiva_fnmr_at_this_fmr\":%s,\"accuracy_met\":%s,"
        "\"identification_met\":%s}",
        i > 0 ? "," : "", versus.Theirs.Genuine, versus.Theirs.Impostor,
        versus.Theirs.FailedEnrolments, versus.Theirs.FalseNonMatchRate,
        versus.Theirs.FalseMatchRate, versus.Theirs.IdentificationRate,
        scored(versus.OurFnmrAtTheirFmr).c_str(), Json(versus.AccuracyMet),
        Json(versus.IdentificationMet));
  }
  std::printf("]}");
}

void PrintJson(const TAccuracyRun& ARun, const std::vector<TGroupFigures>& AGroups,
               const TSetFigures& ASet) {
  const TEngineSpeed& speed = ARun.Speed;
  std::printf(
      "{\"bench\":\"fingerprint_accuracy\",\"set\":\"%s\",\"fingers\":%d,\"impressions\":%d,"
      "\"seconds\":%.0f,"
      "\"load_average\":%.1f,\"threshold\":%d,\"gallery\":%d,\"gallery_seed\":%u,"
      "\"libfprint_enrol_presses\":[%d,%d],\"groups\":[",
      ARun.Name.c_str(), ARun.Fingers, ARun.Impressions, ARun.Seconds, ARun.LoadAverage,
      ARun.Threshold, ARun.GallerySize, ARun.GallerySeed, ARun.FprintUsual.EnrolPresses,
      ARun.FprintSame.EnrolPresses);
  for (std::size_t i = 0; i < AGroups.size(); ++i) {
    if (i > 0) std::printf(",");
    PrintGroupJson(AGroups[i]);
  }
  std::printf(
      "],\"enrolled_within_%d\":%d,\"presses\":%d,\"poor_presses\":%d,\"stranger_probes\":%d,"
      "\"strangers_identified\":%d,\"comparison_us\":{\"mean\":%.1f,\"p99\":%.1f},"
      "\"identification_ms\":{\"cache\":%d,\"mean\":%.2f,\"p95\":%.2f},\"capture_to_event_ms\":%."
      "1f,"
      "\"press_to_identification_ms\":%.1f,\"libfprint_verify_ms\":%.1f,\"libfprint_identify_ms\":%"
      ".1f,"
      "\"goals\":{\"every_finger_enrols\":%s,\"poor_presses_at_most_10\":%s,\"no_stranger\":%s,"
      "\"comparison_under_100us\":%s,\"identification_under_20ms\":%s,\"capture_under_100ms\":%s}}"
      "\n",
      ARun.Protocol.MostEnrolPresses, ASet.Enrolled, ARun.Templates.Presses,
      ARun.Templates.PoorPresses, ARun.Strangers.Probes, ARun.Strangers.ProbesIdentified,
      1000 * speed.Comparison.Wall.Mean, 1000 * speed.Comparison.Wall.Percentile, speed.CacheSize,
      speed.Identification.Wall.Mean, speed.Identification.Wall.Percentile,
      SummariseTimings(ARun.Templates.CaptureToEventMilliseconds, 95).Mean,
      ASet.OurPressToResult.Mean, ASet.TheirVerify.Mean, ASet.TheirIdentify.Mean,
      Json(ASet.EnrolmentMet), Json(ASet.PoorPressMet),
      ASet.StrangersTried ? Json(ASet.StrangerMet) : "null",
      ASet.ComparisonsMade ? Json(ASet.ComparisonMet) : "null",
      ASet.IdentificationsMade ? Json(ASet.IdentificationMet) : "null", Json(ASet.CaptureMet));
}

}  // namespace

void PrintAccuracyReport(const TAccuracyRun& ARun) {
  std::vector<TGroupFigures> groups;
  for (const TFingerRange& range : ARun.Groups) groups.emplace_back(ARun, range);
  const TSetFigures set(ARun);
  PrintTable(ARun, groups, set);
  std::printf("\n");
  PrintJson(ARun, groups, set);
  std::printf("\n");
  std::fflush(stdout);
}
