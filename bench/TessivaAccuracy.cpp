#include "TessivaAccuracy.h"

#include <algorithm>
#include <optional>

#include "IdentificationGallery.h"
#include "MinutiaeTemplateCodec.h"

namespace {

constexpr int kScoreLimit = 101;  // scores lie in 0..100
constexpr int kNoTemplate = -1;

std::optional<TPreparedSamples> Prepare(const TTessivaTemplate& ATemplate) {
  return TMinutiaeTemplateCodec::Decode(ATemplate.Text);
}

// Per sample: an enrolment holds its presses.
double MeanMinutiae(const std::vector<std::optional<TPreparedSamples>>& ATemplates) {
  double sum = 0;
  int count = 0;
  for (const auto& prepared : ATemplates) {
    if (!prepared) continue;
    for (const TPreparedTemplate& sample : *prepared) {
      sum += static_cast<double>(sample.Minutiae().size());
      ++count;
    }
  }
  return count > 0 ? sum / count : 0;
}

bool FirstMatchIsOwn(const TTessivaScores::TProbe& AProbe, int AFingers, int AThreshold,
                     int AGallerySize, uint32_t AGallerySeed) {
  for (const int finger :
       IdentificationGallery(AProbe.Finger, AProbe.Press, AFingers, AGallerySize, AGallerySeed)) {
    if (AProbe.Scores[static_cast<std::size_t>(finger)] >= AThreshold)
      return finger == AProbe.Finger;
  }
  return false;
}

}  // namespace

TTessivaScores ScoreTessivaTemplates(const TTessivaTemplates& ATemplates, int AFirstProbePress) {
  TTessivaScores result;
  std::vector<std::optional<TPreparedSamples>> enrolled;
  for (const auto& finger : ATemplates.Enrolled) {
    enrolled.push_back(Prepare(finger));
    result.Enrolled.push_back(enrolled.back().has_value());
  }
  result.EnrolledMinutiae = MeanMinutiae(enrolled);
  std::vector<std::optional<TPreparedSamples>> probes;
  for (std::size_t finger = 0; finger < ATemplates.Probes.size(); ++finger) {
    int press = AFirstProbePress;
    for (const auto& captured : ATemplates.Probes[finger]) {
      const std::optional<TPreparedSamples>& probe = probes.emplace_back(Prepare(captured));
      TTessivaScores::TProbe& scored = result.Probes.emplace_back();
      scored.Finger = static_cast<int>(finger);
      scored.Press = press++;
      scored.Captured = probe.has_value();
      for (const auto& other : enrolled) {
        scored.Scores.push_back(probe && other ? TMinutiaeTemplateCodec::Score(*other, *probe)
                                               : kNoTemplate);
      }
    }
  }
  result.ProbeMinutiae = MeanMinutiae(probes);
  return result;
}

TTessivaAccuracy SummariseTessivaScores(const TTessivaScores& AScores, const TFingerRange& ARange,
                                        int AThreshold, int AGallerySize, uint32_t AGallerySeed) {
  TTessivaAccuracy result;
  const int fingers = static_cast<int>(AScores.Enrolled.size());
  for (int finger = ARange.First; finger < ARange.End; ++finger) {
    result.FailedEnrolments += AScores.Enrolled[static_cast<std::size_t>(finger)] ? 0 : 1;
  }
  for (const TTessivaScores::TProbe& probe : AScores.Probes) {
    if (!ARange.Contains(probe.Finger)) continue;
    ++result.Probes;
    if (!probe.Captured) ++result.FailedCaptures;
    for (int finger = ARange.First; finger < ARange.End; ++finger) {
      const int score = probe.Scores[static_cast<std::size_t>(finger)];
      if (finger == probe.Finger) {
        result.Table.AddGenuine(std::max(score, 0));
        if (AScores.Enrolled[static_cast<std::size_t>(finger)])
          result.EnrolledTable.AddGenuine(std::max(score, 0));
      } else if (score != kNoTemplate) {
        result.Table.AddImpostor(score);
        result.EnrolledTable.AddImpostor(score);
      }
    }
    if (FirstMatchIsOwn(probe, fingers, AThreshold, AGallerySize, AGallerySeed))
      ++result.FirstMatches;
  }
  return result;
}

int ThresholdAtFalseMatchRate(const TAccuracyTable& ATable, double AMaxRate) {
  // Threshold 0 accepts every pair, those without a template too.
  int threshold = 1;
  while (threshold < kScoreLimit && ATable.FalseMatchRate(threshold) > AMaxRate) ++threshold;
  return threshold;
}
