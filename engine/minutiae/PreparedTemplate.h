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
};

// A template with the tables matching needs, built once so that one probe can be compared with
// many enrolled templates cheaply. Immutable once made; safe to share between threads.
class TPreparedTemplate {
 public:
  TPreparedTemplate() = default;
  explicit TPreparedTemplate(TMinutiaeTemplate ATemplate);

  const TMinutiaeTemplate& Template() const { return FTemplate; }
  std::span<const TMinutia> Minutiae() const { return FTemplate.Minutiae; }

  // The edges from one minutia to its nearest neighbours, shortest first.
  std::span<const TNeighbourEdge> EdgesFrom(std::size_t AMinutia) const;
  // Every neighbour edge once per pair of minutiae: the alignments to try start from these.
  std::span<const uint16_t> RootEdges() const { return FRootEdges; }
  const TNeighbourEdge& Edge(std::size_t AIndex) const { return FEdges[AIndex]; }
  // All neighbour edges, by the index Edge() takes.
  const TEdgeHash& EdgeLookup() const { return FEdgeHash; }
  const TConvexHull& Area() const { return FArea; }

 private:
  TMinutiaeTemplate FTemplate;
  std::vector<uint32_t> FEdgeStart;
  std::vector<TNeighbourEdge> FEdges;
  std::vector<uint16_t> FRootEdges;
  TEdgeHash FEdgeHash;
  TConvexHull FArea;
};
