#pragma once

#include <cstdint>
#include <vector>

#include "AlignmentRoots.h"
#include "MinutiaPair.h"
#include "PreparedTemplate.h"

// Grows a one-to-one pairing of minutiae from a root, best-fitting edge first: a new pair joins
// through a neighbour edge of a paired minutia that matches the corresponding edge of its partner.
// Tolerances are per edge, so the pairing follows skin that stretches across the press.
// Reusable for many roots of one template pair; not shared between threads.
class TPairingGrowth {
 public:
  TPairingGrowth(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe);

  const std::vector<TMinutiaPair>& Grow(const TAlignmentRoot& ARoot);

 private:
  struct TCandidate {
    float Mismatch = 0;
    TMinutiaPair Pair;
  };

  void Reset();
  void Add(TMinutiaPair APair);
  void QueueNeighbours(TMinutiaPair APair);

  const TPreparedTemplate& FEnrolled;
  const TPreparedTemplate& FProbe;
  float FRotation = 0;
  std::vector<int> FEnrolledPartner;  // -1: unpaired
  std::vector<int> FProbePartner;
  std::vector<TMinutiaPair> FPairs;
  std::vector<TCandidate> FQueue;  // a heap, least mismatch on top
};
