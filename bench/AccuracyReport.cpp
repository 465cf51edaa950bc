#include "AccuracyReport.h"

#include <cstdio>
#include <string>
#include <thread>

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
// Equal rates (both zero on a small run, say) are no improvement, nor a loss.
std::string AccuracyVerdict(double AOurs, double ATheirs) {
  return AOurs < ATheirs ? "met" : AOurs == ATheirs ? "tie, not met" : "MISSED";
}

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
  TTimings TheirVerify, TheirIdentify;
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
    TheirIdentify = SummariseTimings(fprint.IdentifyMilliseconds, 95);
    AccuracyMet = OurFnmrAtTheirFmr < TheirFnmr;
    ComparisonMet = 1000 * ARun.Speed.Comparison.Wall.Mean < kComparisonGoalMicroseconds;
    IdentificationMet = ARun.Speed.Identification.Wall.Mean < kIdentificationGoalMilliseconds;
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
              "virtual image reader; %.0f s, load average %.1f on %u cores\n\n",
              ARun.Fingers, ARun.FirstFinger, ARun.FirstFinger + static_cast<uint32_t>(ARun.Fingers) - 1,
              ARun.Impressions, ARun.Impressions, ARun.Seconds, ARun.LoadAverage, std::thread::hardware_concurrency());
  Row("measure", "Tessiva", "libfprint", "goal");
  Row("---", "---", "---", "---");
  Row("protocol", Format("enrol presses 1-%d merged, probe %d-%d", ARun.TessivaEnrolPresses,
                         ARun.TessivaEnrolPresses + 1, ARun.Impressions),
      Format("enrol presses 1-%d, probe %d-%d", theirs.EnrolPresses, theirs.EnrolPresses + 1, ARun.Impressions), "");
  Row("readers used (a new one before libfprint's heat model stops it)", Format("%d", ARun.TessivaEngines),
      Format("%d", theirs.ReaderRenewals + 1), "");
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
      Percent(AFigures.TheirFnmr), "Tessiva below libfprint: " + AccuracyVerdict(AFigures.OurFnmrAtTheirFmr, AFigures.TheirFnmr));
  Row("the same, enrolled fingers only (the matcher alone)",
      Format("%s (score >= %d)", Percent(ours.EnrolledTable.FalseNonMatchRate(AFigures.MatchedThreshold)).c_str(),
             AFigures.MatchedThreshold),
      "", "");
  Row("FNMR at FMR 0.1 %", Format("%s (score >= %d)", Percent(AFigures.OurFnmrAtTarget).c_str(), AFigures.TargetThreshold),
      "- (no score)", "");
  Row("EER", Format("%s (score %d)", Percent(AFigures.Eer.Rate).c_str(), AFigures.Eer.Threshold), "- (no score)", "");
  Row("genuine scores 1 % / 5 % / 50 %; impostor 99 % / 99.9 % / max",
      Format("%d / %d / %d; %d / %d / %d", ours.Table.GenuineQuantile(0.01), ours.Table.GenuineQuantile(0.05),
             ours.Table.GenuineQuantile(0.5), ours.Table.ImpostorQuantile(0.99), ours.Table.ImpostorQuantile(0.999),
             ours.Table.ImpostorQuantile(1.0)),
      "- (no score)", "");
  Row("minutiae per template, enrolled / probe", Format("%.0f / %.0f", ours.EnrolledMinutiae, ours.ProbeMinutiae),
      "- (not shown by libfprint)", "");
  Row(Format("identification in %d enrolled fingers (own and the next ones)", ARun.GallerySize),
      Percent(AFigures.OurIdentification) + " (best score)",
      Percent(AFigures.TheirIdentification) +
          Format(" (first match, own print last; press to result %.0f ms)", AFigures.TheirIdentify.Mean),
      "");
  const TEngineSpeed& speed = ARun.Speed;
  Row("one comparison (VerFingerFromStr), mean / p99",
      Format("%.0f / %.0f us (processor %.0f us)", 1000 * speed.Comparison.Wall.Mean,
             1000 * speed.Comparison.Wall.Percentile, 1000 * speed.Comparison.ProcessorMean),
      "- (only with a press)", "under 1 ms: " + Verdict(AFigures.ComparisonMet));
  Row(Format("identification in %d (IdentificationInFPCacheDB), mean / p95", speed.CacheSize),
      Format("%.1f / %.1f ms (processor %.1f ms)", speed.Identification.Wall.Mean,
             speed.Identification.Wall.Percentile, speed.Identification.ProcessorMean),
      "- (only with a press)", "under 50 ms: " + Verdict(AFigures.IdentificationMet));
  Row(Format("identification in %d, prepared form, mean / p95", speed.CacheSize),
      Format("%.1f / %.1f ms (processor %.1f ms)", speed.PreparedIdentification.Wall.Mean,
             speed.PreparedIdentification.Wall.Percentile, speed.PreparedIdentification.ProcessorMean),
      "", "");
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
      "\"load_average\":%.1f,\"gallery\":%d,"
      "\"tessiva\":{\"enrol_presses\":%d,\"genuine\":%zu,\"impostor\":%zu,\"failed_enrolments\":%d,"
      "\"failed_captures\":%d,\"threshold\":%d,\"fnmr\":%.5f,\"fmr\":%.6f,\"fnmr_at_libfprint_fmr\":%.5f,"
      "\"fnmr_enrolled_at_libfprint_fmr\":%.5f,\"fnmr_at_fmr_0_1\":%.5f,\"threshold_at_fmr_0_1\":%d,\"eer\":%.5f,\"identification\":%.5f,"
      "\"comparison_us\":{\"mean\":%.1f,\"p99\":%.1f,\"processor\":%.1f},"
      "\"identification_ms\":{\"cache\":%d,\"mean\":%.2f,\"p95\":%.2f,\"processor\":%.2f},"
      "\"prepared_identification_ms\":{\"mean\":%.2f,\"p95\":%.2f,\"processor\":%.2f},"
      "\"capture_to_event_ms\":{\"mean\":%.1f,\"p95\":%.1f}},"
      "\"libfprint\":{\"enrol_presses\":%d,\"genuine\":%d,\"impostor\":%ld,\"failed_enrolments\":%d,"
      "\"failed_scans\":%d,\"fnmr\":%.5f,\"fmr\":%.6f,\"identification\":%.5f,\"presses\":%d,"
      "\"verify_ms\":{\"mean\":%.1f,\"p95\":%.1f},\"identify_ms\":{\"mean\":%.1f,\"p95\":%.1f}},"
      "\"goals\":{\"fnmr_below_libfprint\":%s,\"comparison_under_1ms\":%s,\"identification_under_50ms\":%s,"
      "\"capture_under_100ms\":%s}}\n",
      ARun.Fingers, ARun.Impressions, ARun.FirstFinger, ARun.Seconds, ARun.LoadAverage, ARun.GallerySize,
      ARun.TessivaEnrolPresses,
      ARun.Tessiva.Table.GenuineCount(), ARun.Tessiva.Table.ImpostorCount(), ARun.Tessiva.FailedEnrolments,
      ARun.Tessiva.FailedCaptures, ARun.Threshold, AFigures.OurFnmr, AFigures.OurFmr, AFigures.OurFnmrAtTheirFmr,
      ARun.Tessiva.EnrolledTable.FalseNonMatchRate(AFigures.MatchedThreshold), AFigures.OurFnmrAtTarget,
      AFigures.TargetThreshold, AFigures.Eer.Rate, AFigures.OurIdentification,
      1000 * ARun.Speed.Comparison.Wall.Mean, 1000 * ARun.Speed.Comparison.Wall.Percentile,
      1000 * ARun.Speed.Comparison.ProcessorMean, ARun.Speed.CacheSize, ARun.Speed.Identification.Wall.Mean,
      ARun.Speed.Identification.Wall.Percentile, ARun.Speed.Identification.ProcessorMean,
      ARun.Speed.PreparedIdentification.Wall.Mean, ARun.Speed.PreparedIdentification.Wall.Percentile,
      ARun.Speed.PreparedIdentification.ProcessorMean,
      ARun.CaptureToEventMilliseconds.Mean, ARun.CaptureToEventMilliseconds.Percentile, theirs.EnrolPresses,
      theirs.GenuineAttempts, theirs.ImpostorPairs, theirs.FailedEnrolments, theirs.FailedScans, AFigures.TheirFnmr,
      AFigures.TheirFmr, AFigures.TheirIdentification, theirs.Presses, AFigures.TheirVerify.Mean,
      AFigures.TheirVerify.Percentile, AFigures.TheirIdentify.Mean, AFigures.TheirIdentify.Percentile,
      AFigures.AccuracyMet ? "true" : "false",
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
