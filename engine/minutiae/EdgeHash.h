#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "EdgeShape.h"

// Finds, for an edge of one template, the edges of another that may match it, in one look-up:
// each edge is filed under every cell of (length, from angle, to angle) that its tolerance
// reaches, so the cell of the looked-up edge holds every candidate (and a few that a full
// EdgesMatch check then drops).
class TEdgeHash {
 public:
  TEdgeHash() = default;
  explicit TEdgeHash(std::span<const TEdgeShape> AEdges);

  // The cell an edge is looked up in; computing it costs more than the look-up itself, so
  // templates keep it for their edges.
  static uint16_t CellOf(const TEdgeShape& AEdge);
  // Cells are numbered 0 .. CellCount() - 1.
  static int CellCount();

  // Indices into the edges given at construction that may match an edge of cell ACell.
  std::span<const uint16_t> Candidates(uint16_t ACell) const;

 private:
  std::vector<uint32_t> FCellStart;  // one more than the cells; empty when nothing was filed
  std::vector<uint16_t> FEntries;
};
