#include "PairingGrowth.h"

#include <algorithm>

#include "MatchTolerances.h"

namespace {

// Orders the heap so that the least mismatch is on top.
struct TWorseFirst {
  template <typename T>
  bool operator()(const T& A, const T& B) const {
    return A.Mismatch > B.Mismatch;
  }
};

}  // namespace

TPairingGrowth::TPairingGrowth(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe)
    : FEnrolled(AEnrolled),
      FProbe(AProbe),
      FEnrolledPartner(AEnrolled.Minutiae().size(), -1),
      FProbePartner(AProbe.Minutiae().size(), -1) {}

const std::vector<TMinutiaPair>& TPairingGrowth::Grow(const TAlignmentRoot& ARoot) {
  Reset();
  FRotation = ARoot.Rotation;
  Add(ARoot.First);
  Add(ARoot.Second);
  while (!FQueue.empty()) {
    std::pop_heap(FQueue.begin(), FQueue.end(), TWorseFirst{});
    const TMinutiaPair pair = FQueue.back().Pair;
    FQueue.pop_back();
    if (FEnrolledPartner[pair.Enrolled] < 0 && FProbePartner[pair.Probe] < 0) Add(pair);
  }
  return FPairs;
}

void TPairingGrowth::Reset() {
  for (const TMinutiaPair& pair : FPairs) {
    FEnrolledPartner[pair.Enrolled] = -1;
    FProbePartner[pair.Probe] = -1;
  }
  FPairs.clear();
  FQueue.clear();
}

void TPairingGrowth::Add(TMinutiaPair APair) {
  FEnrolledPartner[APair.Enrolled] = APair.Probe;
  FProbePartner[APair.Probe] = APair.Enrolled;
  FPairs.push_back(APair);
  QueueNeighbours(APair);
}

void TPairingGrowth::QueueNeighbours(TMinutiaPair APair) {
  const std::span<const TNeighbourEdge> probeEdges = FProbe.EdgesFrom(APair.Probe);
  // Both edge lists run shortest first, so the probe edges of a matching length form a window
  // that only moves forward.
  std::size_t windowStart = 0;
  for (const TNeighbourEdge& enrolledEdge : FEnrolled.EdgesFrom(APair.Enrolled)) {
    const TLengthRange lengths = MatchingLengths(enrolledEdge.Shape.Length);
    while (windowStart < probeEdges.size() && probeEdges[windowStart].Shape.Length < lengths.Low) ++windowStart;
    if (FEnrolledPartner[enrolledEdge.To] >= 0) continue;
    for (std::size_t i = windowStart; i < probeEdges.size() && probeEdges[i].Shape.Length <= lengths.High; ++i) {
      const TNeighbourEdge& probeEdge = probeEdges[i];
      if (FProbePartner[probeEdge.To] >= 0 || !EdgesMatch(enrolledEdge.Shape, probeEdge.Shape)) {
        continue;
      }
      const float rotation = NormalizeAngle(enrolledEdge.Shape.EdgeAngle - probeEdge.Shape.EdgeAngle);
      if (NormalizedAngleDistance(rotation, FRotation) > kRotationTolerance) continue;
      FQueue.push_back({EdgeMismatch(enrolledEdge.Shape, probeEdge.Shape),
                        {enrolledEdge.To, probeEdge.To}});
      std::push_heap(FQueue.begin(), FQueue.end(), TWorseFirst{});
    }
  }
}
