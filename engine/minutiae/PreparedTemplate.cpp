#include "PreparedTemplate.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "MinutiaPoints.h"
#include "NearestNeighbours.h"
#include "ProbeScreen.h"

namespace {

// Enough neighbours that most survive a few missing or spurious minutiae, few enough that an
// alignment grows in microseconds.
constexpr std::size_t kNeighbours = 12;
// Shorter edges give too rough a rotation to start an alignment from.
constexpr float kMinRootLength = 20;
// Alignments start only from edges to the nearest few neighbours: they survive distortion best,
// and a true alignment has plenty of them.
constexpr std::size_t kRootNeighbours = 5;
// The edges of a probe looked up for them: a few more, since a missing or spurious minutia moves
// a neighbour down or up the ranking. Only these are hashed, which keeps look-ups short.
constexpr std::size_t kRootPartnerNeighbours = 8;
// A true alignment shows in a few dozen root edges; beyond this many, more only cost time (the
// search grows with the square of the minutiae count), so large templates keep an even sample.
constexpr std::size_t kMaxRootEdges = 128;

std::vector<TPlanePoint> Positions(std::span<const TMinutia> AMinutiae) {
  std::vector<TPlanePoint> points;
  points.reserve(AMinutiae.size());
  for (const TMinutia& minutia : AMinutiae) points.push_back({minutia.X, minutia.Y});
  return points;
}

}  // namespace

TPreparedTemplate::TPreparedTemplate(TMinutiaeTemplate ATemplate, TPreparedSide ASide)
    : FTemplate(std::move(ATemplate)) {
  if (FTemplate.Minutiae.size() > kMaxTemplateMinutiae)
    FTemplate.Minutiae.resize(kMaxTemplateMinutiae);
  FindNeighbourEdges();
  if (ASide != TPreparedSide::Probe) ChooseRootEdges();
  if (ASide == TPreparedSide::Both) MakeScreenKeys();
  if (ASide != TPreparedSide::Enrolled) HashRootPartners();
  const std::vector<TPlanePoint> points = Positions(FTemplate.Minutiae);
  FArea = TConvexHull(points);
}

void TPreparedTemplate::FindNeighbourEdges() {
  const std::span<const TMinutia> minutiae = FTemplate.Minutiae;
  FEdgeStart.reserve(minutiae.size() + 1);
  FEdgeStart.push_back(0);
  FEdges.reserve(minutiae.size() * kNeighbours);
  const TNeighbourSearch neighbours(minutiae);
  std::array<uint16_t, kNeighbours> nearest;
  for (std::size_t from = 0; from < minutiae.size(); ++from) {
    const std::size_t kept = neighbours.Find(from, nearest);
    for (std::size_t k = 0; k < kept; ++k) {
      FEdges.push_back({MeasureEdge(minutiae[from], minutiae[nearest[k]]),
                        static_cast<uint16_t>(from), nearest[k]});
    }
    FEdgeStart.push_back(static_cast<uint32_t>(FEdges.size()));
  }
}

void TPreparedTemplate::ChooseRootEdges() {
  FRootEdges.reserve(FTemplate.Minutiae.size() * kRootNeighbours);
  for (std::size_t i = 0; i < FEdges.size(); ++i) {
    const TNeighbourEdge& edge = FEdges[i];
    if (edge.Shape.Length < kMinRootLength || i - FEdgeStart[edge.From] >= kRootNeighbours)
      continue;
    // The reverse edge, when it exists, would start the same alignment again.
    const auto reverse = EdgesFrom(edge.To);
    const bool hasReverse = std::any_of(reverse.begin(), reverse.end(),
                                        [&](const TNeighbourEdge& A) { return A.To == edge.From; });
    if (!hasReverse || edge.From < edge.To) FRootEdges.push_back(static_cast<uint16_t>(i));
  }
  if (FRootEdges.size() > kMaxRootEdges) {
    std::vector<uint16_t> sample;
    for (std::size_t k = 0; k < kMaxRootEdges; ++k)
      sample.push_back(FRootEdges[k * FRootEdges.size() / kMaxRootEdges]);
    FRootEdges = std::move(sample);
  }
  for (uint16_t root : FRootEdges) FEdges[root].HashCell = TEdgeHash::CellOf(FEdges[root].Shape);
}

void TPreparedTemplate::MakeScreenKeys() {
  const std::span<const TMinutia> minutiae = FTemplate.Minutiae;
  const TPlanePoint centre = Centroid(minutiae);
  FScreenKeys.reserve(FRootEdges.size());
  for (uint16_t root : FRootEdges) {
    const TNeighbourEdge& edge = FEdges[root];
    const TPlanePoint middle = Midpoint(minutiae[edge.From], minutiae[edge.To]);
    FScreenKeys.push_back({edge.HashCell, ScreenDirection(edge.Shape.EdgeAngle),
                           static_cast<int16_t>(std::lround(middle.X - centre.X)),
                           static_cast<int16_t>(std::lround(middle.Y - centre.Y))});
  }
}

void TPreparedTemplate::HashRootPartners() {
  std::vector<TEdgeShape> shapes;
  shapes.reserve(FTemplate.Minutiae.size() * kRootPartnerNeighbours);
  FRootPartnerEdges.reserve(shapes.capacity());
  for (std::size_t i = 0; i < FEdges.size(); ++i) {
    const TNeighbourEdge& edge = FEdges[i];
    if (i - FEdgeStart[edge.From] >= kRootPartnerNeighbours) continue;
    FRootPartnerEdges.push_back(static_cast<uint16_t>(i));
    shapes.push_back(edge.Shape);
  }
  FEdgeHash = TEdgeHash(shapes);
}

std::span<const TNeighbourEdge> TPreparedTemplate::EdgesFrom(std::size_t AMinutia) const {
  return std::span(FEdges).subspan(FEdgeStart[AMinutia],
                                   FEdgeStart[AMinutia + 1] - FEdgeStart[AMinutia]);
}
