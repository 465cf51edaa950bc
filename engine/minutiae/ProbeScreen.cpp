#include "ProbeScreen.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "MatchTolerances.h"
#include "MinutiaPoints.h"

namespace {

constexpr int kTurnSteps = 256;
constexpr auto kMaxTurn = static_cast<int>(kMaxRotation / kTwoPi * kTurnSteps);
// Rotation bins over the searched turns. Vote slot s counts the turns within a bin of s's
// centre: a true rotation near a bin border still gathers all its votes in one slot.
constexpr int kBinSteps = 8;
constexpr int kRotationSlots = (2 * kMaxTurn + kBinSteps - 1) / kBinSteps + 1;
// Shift bins wide enough for the skin's stretch between presses; shifts wrap around a grid of
// kShiftBins, far wider than any true shift, so the table stays small.
constexpr float kShiftBinWidth = 40;
constexpr int kShiftBins = 16;
constexpr int kShiftOffset = 1024 * kShiftBins;  // keeps the bin number positive before wrapping

struct TTurnTable {
  std::array<float, kTurnSteps> Cos{}, Sin{};
  TTurnTable() {
    for (int step = 0; step < kTurnSteps; ++step) {
      const float angle = kTwoPi * static_cast<float>(static_cast<int8_t>(step)) / kTurnSteps;
      Cos[static_cast<std::size_t>(step)] = std::cos(angle);
      Sin[static_cast<std::size_t>(step)] = std::sin(angle);
    }
  }
};
const TTurnTable kTurns;

int ShiftBin(float AShift) {
  return (static_cast<int>(AShift / kShiftBinWidth + kShiftOffset)) & (kShiftBins - 1);
}

}  // namespace

uint8_t ScreenDirection(float AAngle) {
  return static_cast<uint8_t>(static_cast<int>(std::lround(AAngle / kTwoPi * kTurnSteps)) & 255);
}

TProbeScreen::TProbeScreen(const TPreparedTemplate& AProbe)
    : FCellStart(static_cast<std::size_t>(TEdgeHash::CellCount()) + 1, 0) {
  // Root edges on both sides, each in its own cell only: a true pair that a bin border splits is
  // lost, which costs every true alignment a share of its agreement alike, and chance agreement
  // stays low and cheap to count.
  const std::span<const uint16_t> edges = AProbe.RootEdges();
  for (uint16_t edge : edges) ++FCellStart[AProbe.Edge(edge).HashCell + 1u];
  for (std::size_t cell = 1; cell < FCellStart.size(); ++cell)
    FCellStart[cell] = static_cast<uint16_t>(FCellStart[cell] + FCellStart[cell - 1]);
  FEdges.resize(edges.size());
  std::vector<uint16_t> next(FCellStart.begin(), FCellStart.end() - 1);
  const std::span<const TMinutia> minutiae = AProbe.Minutiae();
  const TPlanePoint centre = Centroid(minutiae);
  for (uint16_t index : edges) {
    const TNeighbourEdge& edge = AProbe.Edge(index);
    const TPlanePoint middle = Midpoint(minutiae[edge.From], minutiae[edge.To]);
    FEdges[next[edge.HashCell]++] = {ScreenDirection(edge.Shape.EdgeAngle),
                                     middle.X - centre.X, middle.Y - centre.Y};
  }
}

int TProbeScreen::Agreement(const TPreparedTemplate& AEnrolled) const {
  std::array<uint8_t, kRotationSlots * kShiftBins * kShiftBins> votes{};
  uint8_t peak = 0;
  const auto vote = [&](std::size_t ACell) {
    uint8_t& count = votes[ACell];
    count = static_cast<uint8_t>(count + (count < 255));
    peak = std::max(peak, count);
  };
  for (const TScreenKey key : AEnrolled.ScreenKeys()) {
    for (uint16_t k = FCellStart[key.HashCell]; k < FCellStart[key.HashCell + 1u]; ++k) {
      const TEdge& edge = FEdges[k];
      // The byte's wrap-around is the turn's.
      const auto step = static_cast<uint8_t>(key.Direction - edge.Direction);
      const int turn = static_cast<int8_t>(step);
      if (turn < -kMaxTurn || turn >= kMaxTurn) continue;
      // Where the probe's centroid lands if the two edges are one.
      const float c = kTurns.Cos[step], s = kTurns.Sin[step];
      const int x = ShiftBin(key.MidX - (c * edge.MidX - s * edge.MidY));
      const int y = ShiftBin(key.MidY - (s * edge.MidX + c * edge.MidY));
      const auto slot = static_cast<std::size_t>((turn + kMaxTurn) / kBinSteps);
      const auto shift = static_cast<std::size_t>(x * kShiftBins + y);
      vote(slot * kShiftBins * kShiftBins + shift);
      vote((slot + 1) * kShiftBins * kShiftBins + shift);
    }
  }
  return peak;
}
