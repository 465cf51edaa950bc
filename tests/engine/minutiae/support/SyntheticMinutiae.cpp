#include "SyntheticMinutiae.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "Angles.h"

namespace {

constexpr float kCentreX = kSyntheticFrameWidth / 2.0f;
constexpr float kCentreY = kSyntheticFrameHeight / 2.0f;
constexpr float kFingerHalfWidth = 135;
constexpr float kFingerHalfHeight = 185;
constexpr float kMinSpacing = 10;
constexpr float kBorderBand = 25;  // where spurious minutiae appear, inside the contact border
constexpr float kFlowWavelength = 350;

float Uniform(std::mt19937& ARandom, float ALow, float AHigh) {
  if (AHigh <= ALow) return ALow;
  return std::uniform_real_distribution<float>(ALow, AHigh)(ARandom);
}

float Normal(std::mt19937& ARandom, float ADeviation) {
  if (ADeviation <= 0) return 0;
  return std::normal_distribution<float>(0, ADeviation)(ARandom);
}

// Ridge orientation of a core-delta flow (the classic model of a loop or, with two of each,
// a whorl): half the sum of the deltas' angles less half the sum of the cores'.
struct TRidgeFlow {
  std::vector<std::complex<float>> Cores;
  std::vector<std::complex<float>> Deltas;
  float Base = 0;

  float OrientationAt(float AX, float AY) const {
    const std::complex<float> z(AX, AY);
    float angle = Base;
    for (const auto& delta : Deltas) angle += std::arg(z - delta) / 2;
    for (const auto& core : Cores) angle -= std::arg(z - core) / 2;
    return angle;
  }
};

TRidgeFlow MakeRidgeFlow(std::mt19937& ARandom) {
  TRidgeFlow flow;
  flow.Base = Normal(ARandom, DegreesToRadians(10));
  const std::complex<float> core(kCentreX + Uniform(ARandom, -30, 30),
                                 kCentreY - 40 + Uniform(ARandom, -40, 40));
  flow.Cores.push_back(core);
  flow.Deltas.push_back(core + std::complex<float>(Uniform(ARandom, -110, 110), Uniform(ARandom, 110, 170)));
  if (Uniform(ARandom, 0, 1) < 0.3f) {  // a whorl
    flow.Cores.push_back(core + std::complex<float>(Uniform(ARandom, -20, 20), Uniform(ARandom, 20, 40)));
    flow.Deltas.push_back(flow.Deltas.front() - std::complex<float>(2 * (flow.Deltas.front().real() - core.real()), 0));
  }
  return flow;
}

bool InsideFinger(float AX, float AY, float AMargin) {
  const float nx = (AX - kCentreX) / (kFingerHalfWidth - AMargin);
  const float ny = (AY - kCentreY) / (kFingerHalfHeight - AMargin);
  return nx * nx + ny * ny <= 1;
}

struct TRectangle {
  float Left, Top, Right, Bottom;
  bool Contains(float AX, float AY, float AMargin) const {
    return AX >= Left + AMargin && AX < Right - AMargin && AY >= Top + AMargin && AY < Bottom - AMargin;
  }
};

// Where one press puts each point of the finger: a stretch about the centre of contact and a
// gentle wave (the elastic part), then a turn about the frame centre and a shift.
class TPressPlacement {
 public:
  TPressPlacement(const TPressConditions& AConditions, std::mt19937& ARandom)
      : FContactX(kCentreX + Uniform(ARandom, -20, 20)),
        FContactY(kCentreY + Uniform(ARandom, -20, 20)),
        FStretch(Uniform(ARandom, -AConditions.Distortion, AConditions.Distortion)),
        FStretchAngle(Uniform(ARandom, 0, kTwoPi)),
        FWave(AConditions.Distortion * 100),
        FWavePhaseX(Uniform(ARandom, 0, kTwoPi)),
        FWavePhaseY(Uniform(ARandom, 0, kTwoPi)),
        FRotation(DegreesToRadians(AConditions.RotationDegrees +
                                   Uniform(ARandom, -AConditions.RotationSpreadDegrees,
                                           AConditions.RotationSpreadDegrees))),
        FShiftX(Uniform(ARandom, -AConditions.MaxShift, AConditions.MaxShift)),
        FShiftY(Uniform(ARandom, -AConditions.MaxShift, AConditions.MaxShift)) {}

  TMinutia Place(const TMinutia& AMinutia) const {
    float x = AMinutia.X, y = AMinutia.Y;
    const float ux = std::cos(FStretchAngle), uy = std::sin(FStretchAngle);
    const float along = (x - FContactX) * ux + (y - FContactY) * uy;
    x += FStretch * along * ux + FWave * std::sin(kTwoPi * y / kFlowWavelength + FWavePhaseX);
    y += FStretch * along * uy + FWave * std::sin(kTwoPi * x / kFlowWavelength + FWavePhaseY);
    const float c = std::cos(FRotation), s = std::sin(FRotation);
    const float dx = x - kCentreX, dy = y - kCentreY;
    return {kCentreX + c * dx - s * dy + FShiftX, kCentreY + s * dx + c * dy + FShiftY,
            NormalizeAngle(AMinutia.Direction + FRotation)};
  }

  // The finger point a frame point shows, leaving the elastic part aside.
  std::pair<float, float> Unplace(float AX, float AY) const {
    const float c = std::cos(FRotation), s = std::sin(FRotation);
    const float dx = AX - FShiftX - kCentreX, dy = AY - FShiftY - kCentreY;
    return {kCentreX + c * dx + s * dy, kCentreY - s * dx + c * dy};
  }

 private:
  float FContactX, FContactY, FStretch, FStretchAngle, FWave, FWavePhaseX, FWavePhaseY;
  float FRotation, FShiftX, FShiftY;
};

TRectangle PressWindow(const TPressConditions& AConditions, std::mt19937& ARandom) {
  const float side = std::sqrt(std::clamp(AConditions.WindowArea, 0.05f, 1.0f));
  const float width = kSyntheticFrameWidth * side, height = kSyntheticFrameHeight * side;
  const float left = Uniform(ARandom, 0, kSyntheticFrameWidth - width + 1e-3f);
  const float top = Uniform(ARandom, 0, kSyntheticFrameHeight - height + 1e-3f);
  return {left, top, left + width, top + height};
}

}  // namespace

TMinutiaeTemplate MakeSyntheticFinger(std::mt19937& ARandom) {
  const TRidgeFlow flow = MakeRidgeFlow(ARandom);
  const int count = std::uniform_int_distribution<int>(30, 60)(ARandom);
  TMinutiaeTemplate finger{kSyntheticFrameWidth, kSyntheticFrameHeight, 60, {}};
  for (int attempt = 0; attempt < 10000 && static_cast<int>(finger.Minutiae.size()) < count; ++attempt) {
    const float x = Uniform(ARandom, kCentreX - kFingerHalfWidth, kCentreX + kFingerHalfWidth);
    const float y = Uniform(ARandom, kCentreY - kFingerHalfHeight, kCentreY + kFingerHalfHeight);
    if (!InsideFinger(x, y, 5)) continue;
    const bool crowded = std::any_of(finger.Minutiae.begin(), finger.Minutiae.end(), [&](const TMinutia& A) {
      return std::hypot(A.X - x, A.Y - y) < kMinSpacing;
    });
    if (crowded) continue;
    const float flip = std::bernoulli_distribution(0.5)(ARandom) ? std::numbers::pi_v<float> : 0;
    finger.Minutiae.push_back(
        {x, y, NormalizeAngle(flow.OrientationAt(x, y) + flip + Normal(ARandom, DegreesToRadians(5)))});
  }
  return finger;
}

TMinutiaeTemplate MakeSyntheticPress(const TMinutiaeTemplate& AFinger,
                                     const TPressConditions& AConditions, std::mt19937& ARandom) {
  const TPressPlacement placement(AConditions, ARandom);
  const TRectangle window = PressWindow(AConditions, ARandom);
  const TRectangle frame{0, 0, kSyntheticFrameWidth, kSyntheticFrameHeight};
  TMinutiaeTemplate press{kSyntheticFrameWidth, kSyntheticFrameHeight, 60, {}};
  const float directionNoise = DegreesToRadians(AConditions.DirectionNoiseDegrees);
  for (const TMinutia& minutia : AFinger.Minutiae) {
    if (std::bernoulli_distribution(AConditions.DropRate)(ARandom)) continue;
    TMinutia placed = placement.Place(minutia);
    placed.X += Normal(ARandom, AConditions.PositionNoise);
    placed.Y += Normal(ARandom, AConditions.PositionNoise);
    placed.Direction = NormalizeAngle(placed.Direction + Normal(ARandom, directionNoise));
    if (window.Contains(placed.X, placed.Y, 0) && frame.Contains(placed.X, placed.Y, 0)) {
      press.Minutiae.push_back(placed);
    }
  }
  const auto spurious = static_cast<std::size_t>(std::lround(AConditions.SpuriousRate * static_cast<float>(press.Minutiae.size())));
  const std::size_t wanted = press.Minutiae.size() + spurious;
  for (int attempt = 0; attempt < 10000 && press.Minutiae.size() < wanted; ++attempt) {
    const float x = Uniform(ARandom, window.Left, window.Right);
    const float y = Uniform(ARandom, window.Top, window.Bottom);
    const auto [fingerX, fingerY] = placement.Unplace(x, y);
    const bool inContact = frame.Contains(x, y, 0) && InsideFinger(fingerX, fingerY, 0);
    const bool nearBorder = !window.Contains(x, y, kBorderBand) || !frame.Contains(x, y, kBorderBand) ||
                            !InsideFinger(fingerX, fingerY, kBorderBand);
    if (inContact && nearBorder) press.Minutiae.push_back({x, y, Uniform(ARandom, 0, kTwoPi)});
  }
  return press;
}
