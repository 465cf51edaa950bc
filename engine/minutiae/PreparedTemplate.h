#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ConvexHull.h"
#include "EdgeHash.h"
#include "EdgeShape.h"
#include "MinutiaeTemplate.h"

// A directed edge from a minutia to one of its nearest neighbours.
struct TNeighbourEdge {
  TEdgeShape Shape;
  uint16_t From = 0;
  uint16_t To = 0;
  uint16_t HashCell = 0;  // TEdgeHash::CellOf(Shape) for root edges, which alone are looked up
};

// A root edge as identification's first look reads it (TProbeScreen): small, so that a gallery's
// keys stay in the processor's caches.
struct TScreenKey {
  uint16_t HashCell = 0;
  uint8_t Direction = 0;  // the edge's direction in 256 steps of the full turn
  int16_t MidX = 0;       // the edge's midpoint, pixels from the minutiae's centroid
  int16_t MidY = 0;
};

// What a template is prepared for. A template of a cache serves as either side of comparisons
// and in identification's first look, and needs every table. One verification compares once,
// each template on one side only: an enrolled template then needs no look-up of root partners
// nor screen keys, a probe no root edges (and so no screen keys), which saves a third of the
// preparation. A template prepared for one side compares as nothing on the other.
enum class TPreparedSide { Both, Enrolled, Probe };

// A template with the tables matching needs, built once so that one probe can be compared with
// many enrolled templates cheaply (about 30 KB for 40 minutiae). Immutable once made; safe to
// share between threads.
class TPreparedTemplate {
 public:
  TPreparedTemplate() = default;
  explicit TPreparedTemplate(TMinutiaeTemplate ATemplate,
                             TPreparedSide ASide = TPreparedSide::Both);

  const TMinutiaeTemplate& Template() const { return FTemplate; }
  std::span<const TMinutia> Minutiae() const { return FTemplate.Minutiae; }

  // The edges from one minutia to its nearest neighbours, shortest first.
  std::span<const TNeighbourEdge> EdgesFrom(std::size_t AMinutia) const;
  // The edges alignments start from: to the nearest few neighbours, at least 20 px long, once
  // per pair of minutiae.
  std::span<const uint16_t> RootEdges() const { return FRootEdges; }
  const TNeighbourEdge& Edge(std::size_t AIndex) const { return FEdges[AIndex]; }
  // Finds the edges to the nearest few neighbours that may match a root edge of another
  // template, by their index in RootPartnerEdges().
  const TEdgeHash& RootPartnerLookup() const { return FEdgeHash; }
  std::span<const uint16_t> RootPartnerEdges() const { return FRootPartnerEdges; }
  const TConvexHull& Area() const { return FArea; }
  // One per root edge.
  std::span<const TScreenKey> ScreenKeys() const { return FScreenKeys; }

 private:
  void FindNeighbourEdges();
  void ChooseRootEdges();
  void MakeScreenKeys();
  void HashRootPartners();

  TMinutiaeTemplate FTemplate;
  std::vector<uint32_t> FEdgeStart;
  std::vector<TNeighbourEdge> FEdges;
  std::vector<uint16_t> FRootEdges;
  std::vector<uint16_t> FRootPartnerEdges;
  TEdgeHash FEdgeHash;
  std::vector<TScreenKey> FScreenKeys;
  TConvexHull FArea;
};
