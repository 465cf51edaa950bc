#include "MinutiaeAlignment.h"

#include <algorithm>
#include <cmath>

#include "AlignmentRoots.h"
#include "MatchTolerances.h"
#include "PairingGrowth.h"

namespace {

// Roots grown per comparison: the vote ranking puts true alignments among the first few.
constexpr std::size_t kMaxGrownRoots = 4;
// Roots looked at to find them: the best ones and those that a grown alignment already holds.
constexpr std::size_t kConsideredRoots = 32;
constexpr int kConsistencyRounds = 2;

TPlanePoint PositionOf(const TMinutia& AMinutia) { return {AMinutia.X, AMinutia.Y}; }

TRigidTransform FitPairs(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe,
                         const std::vector<TMinutiaPair>& APairs) {
  std::vector<TPointCorrespondence> points;
  points.reserve(APairs.size());
  for (const TMinutiaPair& pair : APairs) {
    points.push_back({PositionOf(AProbe.Minutiae()[pair.Probe]),
                      PositionOf(AEnrolled.Minutiae()[pair.Enrolled])});
  }
  return FitRigidTransform(points);
}

// Drops pairs that a chain of locally matching edges has carried away from the common
// alignment. Skin stretches more far from the centre of contact, so the allowance grows with it.
TMinutiaeAlignment KeepConsistentPairs(const TPreparedTemplate& AEnrolled,
                                       const TPreparedTemplate& AProbe,
                                       std::vector<TMinutiaPair> APairs) {
  TMinutiaeAlignment alignment;
  for (int round = 0; round < kConsistencyRounds; ++round) {
    alignment.ProbeToEnrolled = FitPairs(AEnrolled, AProbe, APairs);
    TPlanePoint centre;
    for (const TMinutiaPair& pair : APairs) {
      centre.X += AEnrolled.Minutiae()[pair.Enrolled].X / static_cast<float>(APairs.size());
      centre.Y += AEnrolled.Minutiae()[pair.Enrolled].Y / static_cast<float>(APairs.size());
    }
    std::erase_if(APairs, [&](const TMinutiaPair& APair) {
      const TMinutia& target = AEnrolled.Minutiae()[APair.Enrolled];
      const TPlanePoint mapped =
          alignment.ProbeToEnrolled.Apply(PositionOf(AProbe.Minutiae()[APair.Probe]));
      const float allowance =
          std::max(kMinPositionTolerance,
                   kRelativePositionTolerance * Distance(target.X - centre.X, target.Y - centre.Y));
      return Distance(mapped.X - target.X, mapped.Y - target.Y) > allowance;
    });
    if (APairs.size() < 2) return {};
  }
  alignment.ProbeToEnrolled = FitPairs(AEnrolled, AProbe, APairs);
  alignment.Pairs = std::move(APairs);
  return alignment;
}

bool Covers(const std::vector<int>& AEnrolledPartner, const TAlignmentRoot& ARoot) {
  return AEnrolledPartner[ARoot.First.Enrolled] == ARoot.First.Probe &&
         AEnrolledPartner[ARoot.Second.Enrolled] == ARoot.Second.Probe;
}

}  // namespace

TMinutiaeAlignment AlignMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe) {
  const std::vector<TAlignmentRoot> roots = FindAlignmentRoots(AEnrolled, AProbe, kConsideredRoots);
  TPairingGrowth growth(AEnrolled, AProbe);
  TMinutiaeAlignment best;
  // Roots that an alignment already grown contains would grow it again.
  std::vector<int> grownPartner(AEnrolled.Minutiae().size(), -1);
  std::size_t grown = 0;
  for (const TAlignmentRoot& root : roots) {
    if (grown == kMaxGrownRoots) break;
    if (Covers(grownPartner, root)) continue;
    ++grown;
    const std::vector<TMinutiaPair>& pairs = growth.Grow(root);
    for (const TMinutiaPair& pair : pairs) grownPartner[pair.Enrolled] = pair.Probe;
    TMinutiaeAlignment candidate = KeepConsistentPairs(AEnrolled, AProbe, pairs);
    if (candidate.Pairs.size() > best.Pairs.size()) best = std::move(candidate);
  }
  return best;
}
