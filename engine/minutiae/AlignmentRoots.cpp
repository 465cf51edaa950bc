#include "AlignmentRoots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "Angles.h"
#include "MatchTolerances.h"
#include "MinutiaPoints.h"

namespace {

// Vote space: rotation, and where the probe's centroid lands relative to the enrolled centroid.
constexpr int kRotationBins = 18;
constexpr float kRotationBinWidth = kTwoPi / kRotationBins;
constexpr int kShiftBins = 24;
constexpr float kShiftBinWidth = 32;
constexpr float kShiftRange = kShiftBins * kShiftBinWidth / 2;

// The cells a root votes for: in each dimension the two bins whose centres are nearest, so that
// a true alignment split by a bin border still gathers its votes in one cell.
class TVoteCells {
 public:
  // Empty when the shift lies outside the vote space.
  static std::optional<TVoteCells> Of(float ARotation, float AShiftX, float AShiftY) {
    const float x = (AShiftX + kShiftRange) / kShiftBinWidth - 0.5f;
    const float y = (AShiftY + kShiftRange) / kShiftBinWidth - 0.5f;
    if (x < 0 || y < 0 || x >= kShiftBins - 1 || y >= kShiftBins - 1) return std::nullopt;
    TVoteCells cells;
    const auto r = static_cast<int>(std::floor(ARotation / kRotationBinWidth - 0.5f));
    const int rx = static_cast<int>(x), ry = static_cast<int>(y);
    std::size_t n = 0;
    for (int dr = 0; dr < 2; ++dr) {
      const int rotation = (r + dr + kRotationBins) % kRotationBins;
      for (int dx = 0; dx < 2; ++dx) {
        for (int dy = 0; dy < 2; ++dy) {
          cells.FCells[n++] = (rotation * kShiftBins + rx + dx) * kShiftBins + ry + dy;
        }
      }
    }
    return cells;
  }
  const std::array<int, 8>& Cells() const { return FCells; }

 private:
  std::array<int, 8> FCells{};
};

struct TVotedRoot {
  TAlignmentRoot Root;
  TVoteCells Cells;
};

}  // namespace

std::vector<TAlignmentRoot> FindAlignmentRoots(const TPreparedTemplate& AEnrolled,
                                               const TPreparedTemplate& AProbe,
                                               std::size_t AMaxRoots) {
  const std::span<const TMinutia> enrolled = AEnrolled.Minutiae();
  const std::span<const TMinutia> probe = AProbe.Minutiae();
  const TPlanePoint enrolledCentre = Centroid(enrolled);
  const TPlanePoint probeCentre = Centroid(probe);
  std::vector<TVotedRoot> voted;
  voted.reserve(4 * AEnrolled.RootEdges().size());
  for (uint16_t rootIndex : AEnrolled.RootEdges()) {
    const TNeighbourEdge& edge = AEnrolled.Edge(rootIndex);
    const TLengthRange lengths = MatchingLengths(edge.Shape.Length);
    for (uint16_t partner : AProbe.RootPartnerLookup().Candidates(edge.HashCell)) {
      const TNeighbourEdge& candidate = AProbe.Edge(AProbe.RootPartnerEdges()[partner]);
      if (!lengths.Contains(candidate.Shape.Length) ||
          !EdgeAnglesMatch(edge.Shape, candidate.Shape))
        continue;
      const float rotation = NormalizeAngle(edge.Shape.EdgeAngle - candidate.Shape.EdgeAngle);
      if (AngleDistance(rotation, 0) > kMaxRotation) continue;
      // Where the probe's centroid lands if this edge pair is a true correspondence.
      const TPlanePoint enrolledMid = Midpoint(enrolled[edge.From], enrolled[edge.To]);
      const TPlanePoint probeMid = Midpoint(probe[candidate.From], probe[candidate.To]);
      // The rotation's cosine and sine from the two edge vectors, cheaper than trigonometry.
      const float ex = enrolled[edge.To].X - enrolled[edge.From].X;
      const float ey = enrolled[edge.To].Y - enrolled[edge.From].Y;
      const float px = probe[candidate.To].X - probe[candidate.From].X;
      const float py = probe[candidate.To].Y - probe[candidate.From].Y;
      const float lengths = std::max(1e-3f, edge.Shape.Length * candidate.Shape.Length);
      const float c = (ex * px + ey * py) / lengths, s = (ey * px - ex * py) / lengths;
      const float ox = probeCentre.X - probeMid.X, oy = probeCentre.Y - probeMid.Y;
      const float shiftX = enrolledMid.X + c * ox - s * oy - enrolledCentre.X;
      const float shiftY = enrolledMid.Y + s * ox + c * oy - enrolledCentre.Y;
      const auto cells = TVoteCells::Of(rotation, shiftX, shiftY);
      if (!cells) continue;
      voted.push_back({{{edge.From, candidate.From},
                        {edge.To, candidate.To},
                        rotation,
                        EdgeMismatch(edge.Shape, candidate.Shape),
                        0},
                       *cells});
    }
  }
  // Bytes, saturating: beyond a few dozen votes the order among roots no longer matters, and a
  // small table is quick to clear.
  std::vector<uint8_t> votes(kRotationBins * kShiftBins * kShiftBins, 0);
  for (const TVotedRoot& root : voted) {
    for (int cell : root.Cells.Cells()) {
      uint8_t& count = votes[static_cast<std::size_t>(cell)];
      count = static_cast<uint8_t>(count + (count < 255));
    }
  }
  std::vector<TAlignmentRoot> roots;
  roots.reserve(voted.size());
  for (TVotedRoot& root : voted) {
    for (int cell : root.Cells.Cells()) {
      root.Root.Votes = std::max<int>(root.Root.Votes, votes[static_cast<std::size_t>(cell)]);
    }
    roots.push_back(root.Root);
  }
  const auto kept = roots.begin() + static_cast<std::ptrdiff_t>(std::min(AMaxRoots, roots.size()));
  std::partial_sort(roots.begin(), kept, roots.end(),
                    [](const TAlignmentRoot& A, const TAlignmentRoot& B) {
                      return A.Votes != B.Votes ? A.Votes > B.Votes : A.Mismatch < B.Mismatch;
                    });
  roots.erase(kept, roots.end());
  return roots;
}
