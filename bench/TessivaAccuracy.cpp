#include "TessivaAccuracy.h"

#include "IdentificationGallery.h"
#include "MinutiaeTemplateCodec.h"

namespace {

constexpr int kScoreLimit = 101;  // scores lie in 0..100

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

// The probe's own score reaches the threshold and beats every other in its gallery (a tie is
// counted against it).
bool IdentifiedAsItself(const std::vector<int>& AScores, int AFinger, int AThreshold, int AGallerySize) {
  const int own = AScores[static_cast<std::size_t>(AFinger)];
  if (own < AThreshold) return false;
  for (const int finger : IdentificationGallery(AFinger, static_cast<int>(AScores.size()), AGallerySize)) {
    if (finger != AFinger && AScores[static_cast<std::size_t>(finger)] >= own) return false;
  }
  return true;
}

}  // namespace

TTessivaAccuracy ScoreTessivaTemplates(const TTessivaTemplates& ATemplates, int AThreshold, int AGallerySize) {
  TTessivaAccuracy result;
  std::vector<std::optional<TPreparedSamples>> enrolled;
  for (const auto& finger : ATemplates.Enrolled) {
    enrolled.push_back(Prepare(finger));
    if (!enrolled.back()) ++result.FailedEnrolments;
  }
  result.EnrolledMinutiae = MeanMinutiae(enrolled);
  std::vector<std::optional<TPreparedSamples>> probes;
  for (std::size_t finger = 0; finger < ATemplates.Probes.size(); ++finger) {
    for (const auto& press : ATemplates.Probes[finger]) {
      const std::optional<TPreparedSamples>& probe = probes.emplace_back(Prepare(press));
      if (!probe) ++result.FailedCaptures;
      std::vector<int> scores(enrolled.size(), 0);
      for (std::size_t other = 0; other < enrolled.size(); ++other) {
        const bool both = probe && enrolled[other];
        if (both) scores[other] = TMinutiaeTemplateCodec::Score(*enrolled[other], *probe);
        if (other == finger) {
          result.Table.AddGenuine(scores[other]);
          if (enrolled[other]) result.EnrolledTable.AddGenuine(scores[other]);
        } else if (both) {
          result.Table.AddImpostor(scores[other]);
          result.EnrolledTable.AddImpostor(scores[other]);
        }
      }
      ++result.Identifications;
      if (IdentifiedAsItself(scores, static_cast<int>(finger), AThreshold, AGallerySize)) {
        ++result.CorrectIdentifications;
      }
    }
  }
  result.ProbeMinutiae = MeanMinutiae(probes);
  return result;
}

int ThresholdAtFalseMatchRate(const TAccuracyTable& ATable, double AMaxRate) {
  int threshold = 0;
  while (threshold < kScoreLimit && ATable.FalseMatchRate(threshold) > AMaxRate) ++threshold;
  return threshold;
}
