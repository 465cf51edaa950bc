#include "PreparedTemplate.h"

#include <algorithm>
#include <cmath>

#include "MinutiaPoints.h"
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

TPreparedTemplate::TPreparedTemplate(TMinutiaeTemplate ATemplate)
    : FTemplate(std::move(ATemplate)) {
  if (FTemplate.Minutiae.size() > kMaxTemplateMinutiae)
    FTemplate.Minutiae.resize(kMaxTemplateMinutiae);
  const std::span<const TMinutia> minutiae = FTemplate.Minutiae;
  FEdgeStart.reserve(minutiae.size() + 1);
  FEdgeStart.push_back(0);
  struct TNeighbour {
    float SquaredDistance;
    uint16_t Index;
  };
  std::vector<TNeighbour> others;
  for (std::size_t from = 0; from < minutiae.size(); ++from) {
    others.clear();
    for (std::size_t to = 0; to < minutiae.size(); ++to) {
      if (to == from) continue;
      const float dx = minutiae[to].X - minutiae[from].X, dy = minutiae[to].Y - minutiae[from].Y;
      others.push_back({dx * dx + dy * dy, static_cast<uint16_t>(to)});
    }
    const std::size_t kept = std::min(kNeighbours, others.size());
    // Ties broken by index, so that the neighbours do not depend on the library's sort.
    const auto nearer = [](const TNeighbour& A, const TNeighbour& B) {
      return A.SquaredDistance != B.SquaredDistance ? A.SquaredDistance < B.SquaredDistance
                                                    : A.Index < B.Index;
    };
    const auto keptEnd = others.begin() + static_cast<std::ptrdiff_t>(kept);
    if (kept < others.size()) std::nth_element(others.begin(), keptEnd, others.end(), nearer);
    std::sort(others.begin(), keptEnd, nearer);
    for (std::size_t k = 0; k < kept; ++k) {
      const TEdgeShape shape = MeasureEdge(minutiae[from], minutiae[others[k].Index]);
      FEdges.push_back(
          {shape, static_cast<uint16_t>(from), others[k].Index, TEdgeHash::CellOf(shape)});
    }
    FEdgeStart.push_back(static_cast<uint32_t>(FEdges.size()));
  }
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
  const TPlanePoint centre = Centroid(minutiae);
  for (uint16_t root : FRootEdges) {
    const TNeighbourEdge& edge = FEdges[root];
    const TPlanePoint middle = Midpoint(minutiae[edge.From], minutiae[edge.To]);
    FScreenKeys.push_back({edge.HashCell, ScreenDirection(edge.Shape.EdgeAngle),
                           static_cast<int16_t>(std::lround(middle.X - centre.X)),
                           static_cast<int16_t>(std::lround(middle.Y - centre.Y))});
  }
  std::vector<TEdgeShape> shapes;
  for (std::size_t i = 0; i < FEdges.size(); ++i) {
    const TNeighbourEdge& edge = FEdges[i];
    if (i - FEdgeStart[edge.From] >= kRootPartnerNeighbours) continue;
    FRootPartnerEdges.push_back(static_cast<uint16_t>(i));
    shapes.push_back(edge.Shape);
  }
  FEdgeHash = TEdgeHash(shapes);
  const std::vector<TPlanePoint> points = Positions(minutiae);
  FArea = TConvexHull(points);
}

std::span<const TNeighbourEdge> TPreparedTemplate::EdgesFrom(std::size_t AMinutia) const {
  return std::span(FEdges).subspan(FEdgeStart[AMinutia],
                                   FEdgeStart[AMinutia + 1] - FEdgeStart[AMinutia]);
}
