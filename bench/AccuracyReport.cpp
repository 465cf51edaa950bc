#include "AccuracyReport.h"

#include <cstdio>
#include <string>

namespace {

constexpr double kFalseMatchTarget = 0.001;
constexpr double kComparisonGoalMicroseconds = 1000;
constexpr double kIdentificationGoalMilliseconds = 50;
constexpr double kCaptureGoalMilliseconds = 100;

std::string Format(const char* AFormat, auto... AValues) {
  char text[160];
  std::snprintf(text, sizeof text, AFormat, AValues...);
  return text;
}

std::string Percent(double AShare) { return Format("%.2f %%", 100 * AShare); }
std::string Verdict(bool AMet) { return AMet ? "met" : "MISSED"; }

double Share(long APart, long AWhole) { return AWhole > 0 ? static_cast<double>(APart) / static_cast<double>(AWhole) : 0; }

// Every figure the table and the JSON line show, computed once.
struct TFigures {
  double OurFnmr, OurFmr, TheirFnmr, TheirFmr;
  int MatchedThreshold;
  double OurFnmrAtTheirFmr, OurFmrAtTheirFmr;
  int TargetThreshold;
  double OurFnmrAtTarget;
  TAccuracyTable::TEqualError Eer;
  double OurIdentification, TheirIdentification;
  TTimings TheirVerify;
  bool AccuracyMet, ComparisonMet, IdentificationMet, CaptureMet;

  explicit TFigures(const TAccuracyRun& ARun) {
    const TAccuracyTable& table = ARun.Tessiva.Table;
    const TFprintAccuracy& fprint = ARun.Fprint;
    OurFnmr = table.FalseNonMatchRate(ARun.Threshold);
    OurFmr = table.FalseMatchRate(ARun.Threshold);
    TheirFnmr = 1 - Share(fprint.GenuineMatches, fprint.GenuineAttempts);
    TheirFmr = Share(fprint.ImpostorMatches, fprint.ImpostorPairs);
    MatchedThreshold = ThresholdAtFalseMatchRate(table, TheirFmr);
    OurFnmrAtTheirFmr = table.FalseNonMatchRate(MatchedThreshold);
    OurFmrAtTheirFmr = table.FalseMatchRate(MatchedThreshold);
    TargetThreshold = ThresholdAtFalseMatchRate(table, kFalseMatchTarget);
    OurFnmrAtTarget = table.FalseNonMatchRate(TargetThreshold);
    Eer = table.EqualErrorRate();
    OurIdentification = Share(ARun.Tessiva.CorrectIdentifications, ARun.Tessiva.Identifications);
    TheirIdentification = Share(fprint.CorrectIdentifications, fprint.Identifications);
    TheirVerify = SummariseTimings(fprint.VerifyMilliseconds, 95);
    AccuracyMet = OurFnmrAtTheirFmr < TheirFnmr;
    ComparisonMet = ARun.Speed.ComparisonMicroseconds.Mean < kComparisonGoalMicroseconds;
    IdentificationMet = ARun.Speed.IdentificationMilliseconds.Mean < kIdentificationGoalMilliseconds;
    CaptureMet = ARun.CaptureToEventMilliseconds.Mean < kCaptureGoalMilliseconds;
  }
};

void Row(const std::string& AMeasure, const std::string& AOurs, const std::string& ATheirs, const std::string& AGoal) {
  std::printf("| %s | %s | %s | %s |\n", AMeasure.c_str(), AOurs.c_str(), ATheirs.c_str(), AGoal.c_str());
}

void PrintTable(const TAccuracyRun& ARun, const TFigures& AFigures) {
  const TTessivaAccuracy& ours = ARun.Tessiva;
  const TFprintAccuracy& theirs = ARun.Fprint;
  const int ourProbes = ARun.Impressions - ARun.TessivaEnrolPresses;
  std::printf("%d fingers (seeds %u..%u) x %d impressions (seeds 1..%d), generated, pressed on libfprint's "
              "virtual image reader; %.0f s\n\n",
              ARun.Fingers, ARun.FirstFinger, ARun.FirstFinger + static_cast<uint32_t>(ARun.Fingers) - 1,
              ARun.Impressions, ARun.Impressions, ARun.Seconds);
  Row("measure", "Tessiva", "libfprint", "goal");
  Row("---", "---", "---", "---");
  Row("protocol", Format("enrol presses 1-%d merged, probe %d-%d", ARun.TessivaEnrolPresses,
                         ARun.TessivaEnrolPresses + 1, ARun.Impressions),
      Format("enrol presses 1-%d, probe %d-%d", theirs.EnrolPresses, theirs.EnrolPresses + 1, ARun.Impressions), "");
  Row("genuine / impostor pairs", Format("%zu / %zu", ours.Table.GenuineCount(), ours.Table.ImpostorCount()),
      Format("%d / %ld", theirs.GenuineAttempts, theirs.ImpostorPairs), "");
  Row("failed enrolments / probe presses without template",
      Format("%d / %d of %d", ours.FailedEnrolments, ours.FailedCaptures, ARun.Fingers * ourProbes),
      Format("%d / %d of %d", theirs.FailedEnrolments, theirs.FailedScans, theirs.GenuineAttempts), "");
  Row("FNMR at the operating point", Format("%s (score >= %d)", Percent(AFigures.OurFnmr).c_str(), ARun.Threshold),
      Percent(AFigures.TheirFnmr) + " (bozorth3 threshold)", "");
  Row("FMR at the operating point", Percent(AFigures.OurFmr), Percent(AFigures.TheirFmr), "");
  Row("FNMR at FMR <= libfprint's", Format("%s (score >= %d, FMR %s)", Percent(AFigures.OurFnmrAtTheirFmr).c_str(),
                                           AFigures.MatchedThreshold, Percent(AFigures.OurFmrAtTheirFmr).c_str()),
      Percent(AFigures.TheirFnmr), "Tessiva below libfprint: " + Verdict(AFigures.AccuracyMet));
  Row("FNMR at FMR 0.1 %", Format("%s (score >= %d)", Percent(AFigures.OurFnmrAtTarget).c_str(), AFigures.TargetThreshold),
      "- (no score)", "");
  Row("EER", Format("%s (score %d)", Percent(AFigures.Eer.Rate).c_str(), AFigures.Eer.Threshold), "- (no score)", "");
  Row(Format("identification in the %d enrolled", ARun.Fingers),
      Percent(AFigures.OurIdentification) + " (best score)",
      Percent(AFigures.TheirIdentification) + " (first match, own print last)", "");
  Row("one comparison, mean / p99",
      Format("%.0f / %.0f us", ARun.Speed.ComparisonMicroseconds.Mean, ARun.Speed.ComparisonMicroseconds.Percentile),
      "- (only with a press)", "under 1 ms: " + Verdict(AFigures.ComparisonMet));
  Row(Format("identification in %d, mean / p95", ARun.Speed.CacheSize),
      Format("%.1f / %.1f ms", ARun.Speed.IdentificationMilliseconds.Mean,
             ARun.Speed.IdentificationMilliseconds.Percentile),
      "- (only with a press)", "under 50 ms: " + Verdict(AFigures.IdentificationMet));
  Row("press to result, mean / p95",
      Format("%.0f / %.0f ms (to OnCapture)", ARun.CaptureToEventMilliseconds.Mean,
             ARun.CaptureToEventMilliseconds.Percentile),
      Format("%.0f / %.0f ms (to verify's result)", AFigures.TheirVerify.Mean, AFigures.TheirVerify.Percentile),
      "under 100 ms: " + Verdict(AFigures.CaptureMet));
}

void PrintJson(const TAccuracyRun& ARun, const TFigures& AFigures) {
  const TFprintAccuracy& theirs = ARun.Fprint;
  std::printf(
      "{\"bench\":\"fingerprint_accuracy\",\"fingers\":%d,\"impressions\":%d,\"first_finger\":%u,\"seconds\":%.0f,"
      "\"tessiva\":{\"enrol_presses\":%d,\"genuine\":%zu,\"impostor\":%zu,\"failed_enrolments\":%d,"
      "\"failed_captures\":%d,\"threshold\":%d,\"fnmr\":%.5f,\"fmr\":%.6f,\"fnmr_at_libfprint_fmr\":%.5f,"
      "\"fnmr_at_fmr_0_1\":%.5f,\"threshold_at_fmr_0_1\":%d,\"eer\":%.5f,\"identification\":%.5f,"
      "\"comparison_us\":{\"mean\":%.1f,\"p99\":%.1f},\"identification_ms\":{\"cache\":%d,\"mean\":%.2f,\"p95\":%.2f},"
      "\"capture_to_event_ms\":{\"mean\":%.1f,\"p95\":%.1f}},"
      "\"libfprint\":{\"enrol_presses\":%d,\"genuine\":%d,\"impostor\":%ld,\"failed_enrolments\":%d,"
      "\"failed_scans\":%d,\"fnmr\":%.5f,\"fmr\":%.6f,\"identification\":%.5f,\"presses\":%d,"
      "\"verify_ms\":{\"mean\":%.1f,\"p95\":%.1f}},"
      "\"goals\":{\"fnmr_below_libfprint\":%s,\"comparison_under_1ms\":%s,\"identification_under_50ms\":%s,"
      "\"capture_under_100ms\":%s}}\n",
      ARun.Fingers, ARun.Impressions, ARun.FirstFinger, ARun.Seconds, ARun.TessivaEnrolPresses,
      ARun.Tessiva.Table.GenuineCount(), ARun.Tessiva.Table.ImpostorCount(), ARun.Tessiva.FailedEnrolments,
      ARun.Tessiva.FailedCaptures, ARun.Threshold, AFigures.OurFnmr, AFigures.OurFmr, AFigures.OurFnmrAtTheirFmr,
      AFigures.OurFnmrAtTarget, AFigures.TargetThreshold, AFigures.Eer.Rate, AFigures.OurIdentification,
      ARun.Speed.ComparisonMicroseconds.Mean, ARun.Speed.ComparisonMicroseconds.Percentile, ARun.Speed.CacheSize,
      ARun.Speed.IdentificationMilliseconds.Mean, ARun.Speed.IdentificationMilliseconds.Percentile,
      ARun.CaptureToEventMilliseconds.Mean, ARun.CaptureToEventMilliseconds.Percentile, theirs.EnrolPresses,
      theirs.GenuineAttempts, theirs.ImpostorPairs, theirs.FailedEnrolments, theirs.FailedScans, AFigures.TheirFnmr,
      AFigures.TheirFmr, AFigures.TheirIdentification, theirs.Presses, AFigures.TheirVerify.Mean,
      AFigures.TheirVerify.Percentile, AFigures.AccuracyMet ? "true" : "false",
      AFigures.ComparisonMet ? "true" : "false", AFigures.IdentificationMet ? "true" : "false",
      AFigures.CaptureMet ? "true" : "false");
}

}  // namespace

void PrintAccuracyReport(const TAccuracyRun& ARun) {
  const TFigures figures(ARun);
  PrintTable(ARun, figures);
  std::printf("\n");
  PrintJson(ARun, figures);
}
