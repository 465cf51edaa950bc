#include "MatchEvidence.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Minutiae near the edge of the other press's area may lie just outside its contact.
constexpr float kOverlapMargin = 8;
constexpr double kReferenceSize = 30;  // minutiae
constexpr double kSizeExponent = 0.75;
// The evidence that press pairs of different fingers reach in one comparison in 100, 1,000,
// 10,000 and 100,000 (calibration data of bench/template_accuracy, generated fingers 101-160 and
// real fingers 1-5 of both real sets: 229,120 ordered pairs, all with libfprint's minutiae; the
// generated ones are the more dangerous at every rate, so they set the steps). Scores count ten per decade
// of false match rate from 1 %: 10 at 0.1 %, 20 at 0.01 %; past the last step, at its slope.
constexpr std::array<double, 4> kEvidenceByFalseMatchDecade{15.7, 23.8, 32.0, 43.9};
constexpr double kScorePerDecade = 10;

int CountConsistentEdges(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe,
                         const std::vector<TMinutiaPair>& APairs) {
  std::vector<int> probePartner(AEnrolled.Minutiae().size(), -1);
  for (const TMinutiaPair& pair : APairs) probePartner[pair.Enrolled] = pair.Probe;
  int consistent = 0;
  for (const TMinutiaPair& pair : APairs) {
    for (const TNeighbourEdge& edge : AEnrolled.EdgesFrom(pair.Enrolled)) {
      const int partner = probePartner[edge.To];
      if (partner < 0) continue;
      const TEdgeShape probeEdge = MeasureEdge(
          AProbe.Minutiae()[pair.Probe], AProbe.Minutiae()[static_cast<std::size_t>(partner)]);
      if (EdgesMatch(edge.Shape, probeEdge)) ++consistent;
    }
  }
  return consistent;
}

}  // namespace

TMatchEvidence MeasureMatchEvidence(const TPreparedTemplate& AEnrolled,
                                    const TPreparedTemplate& AProbe,
                                    const TMinutiaeAlignment& AAlignment) {
  TMatchEvidence evidence;
  evidence.Paired = static_cast<int>(AAlignment.Pairs.size());
  evidence.EnrolledMinutiae = static_cast<int>(AEnrolled.Minutiae().size());
  evidence.ProbeMinutiae = static_cast<int>(AProbe.Minutiae().size());
  if (evidence.Paired == 0) return evidence;
  evidence.ConsistentEdges = CountConsistentEdges(AEnrolled, AProbe, AAlignment.Pairs);
  const TRigidTransform& transform = AAlignment.ProbeToEnrolled;
  for (const TMinutia& minutia : AProbe.Minutiae()) {
    if (AEnrolled.Area().Contains(transform.Apply({minutia.X, minutia.Y}), kOverlapMargin)) {
      ++evidence.ProbeInOverlap;
    }
  }
  std::vector<TPlanePoint> probeCorners;
  for (const TPlanePoint& corner : AProbe.Area().Corners()) {
    probeCorners.push_back(transform.Apply(corner));
  }
  const TConvexHull probeArea(probeCorners);
  for (const TMinutia& minutia : AEnrolled.Minutiae()) {
    if (probeArea.Contains({minutia.X, minutia.Y}, kOverlapMargin)) ++evidence.EnrolledInOverlap;
  }
  return evidence;
}

double WeighMatchEvidence(const TMatchEvidence& AEvidence) {
  // Consistent edges measure how firmly the pairs hold together; the share of the overlap's
  // minutiae that paired tells a true alignment from a few chance pairs in a large overlap.
  // Between unrelated fingers, consistent edges come by chance more often the more minutiae
  // both templates have; scaling by the templates' size (to the power 0.75, fitted on made-up
  // fingers of 20 to 100 minutiae) keeps their scores at one level for sparse and dense ones.
  const int overlap = std::max({1, AEvidence.EnrolledInOverlap, AEvidence.ProbeInOverlap});
  const double share = std::min(1.0, static_cast<double>(AEvidence.Paired) / overlap);
  const double size = std::sqrt(static_cast<double>(std::max(1, AEvidence.EnrolledMinutiae)) *
                                std::max(1, AEvidence.ProbeMinutiae));
  return AEvidence.ConsistentEdges * std::sqrt(share) * std::pow(kReferenceSize / size, kSizeExponent);
}

int32_t ScoreMatchEvidence(const TMatchEvidence& AEvidence) {
  // Down, so that a score of 10 means at most the false match rate of its step.
  return static_cast<int32_t>(std::floor(ScoreOfEvidenceWeight(WeighMatchEvidence(AEvidence))));
}

double ScoreOfEvidenceWeight(double AWeight) {
  const auto& steps = kEvidenceByFalseMatchDecade;
  if (AWeight <= steps.front()) return 0;
  std::size_t step = 1;
  while (step + 1 < steps.size() && AWeight > steps[step]) ++step;
  const double decades = static_cast<double>(step - 1) +
                         (AWeight - steps[step - 1]) / (steps[step] - steps[step - 1]);
  return std::min(100.0, decades * kScorePerDecade);
}
