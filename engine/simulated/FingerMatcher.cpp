#include "FingerMatcher.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "FingerTemplate.h"

namespace {

constexpr int kMaxAxisDistance = 10;
constexpr int kMaxAngleDistance = 16;

// Signed difference ATo - AFrom of two directions, in -128..127.
int AngleDelta(uint8_t AFrom, uint8_t ATo) {
  return (ATo - AFrom + 384) % 256 - 128;
}

struct TCandidate {
  int Cost = 0;
  std::size_t First = 0;
  std::size_t Second = 0;

  bool operator<(const TCandidate& AOther) const {
    return std::tie(Cost, First, Second) < std::tie(AOther.Cost, AOther.First, AOther.Second);
  }
};

std::vector<TCandidate> Candidates(const TFeatureSet& AFirst, const TFeatureSet& ASecond) {
  std::vector<TCandidate> candidates;
  for (std::size_t i = 0; i < AFirst.Minutiae.size(); ++i) {
    const TSimulatedMinutia& a = AFirst.Minutiae[i];
    for (std::size_t j = 0; j < ASecond.Minutiae.size(); ++j) {
      const TSimulatedMinutia& b = ASecond.Minutiae[j];
      const int dx = b.X - a.X;
      const int dy = b.Y - a.Y;
      const int da = AngleDelta(a.Angle, b.Angle);
      if (a.Kind != b.Kind || std::abs(dx) > kMaxAxisDistance || std::abs(dy) > kMaxAxisDistance ||
          std::abs(da) > kMaxAngleDistance) {
        continue;
      }
      candidates.push_back({dx * dx + dy * dy + da * da / 4, i, j});
    }
  }
  return candidates;
}

uint8_t AverageByte(int ABase, double ASumOfDeltas, int ACount) {
  return static_cast<uint8_t>(
      std::clamp(static_cast<int>(std::lround(ABase + ASumOfDeltas / ACount)), 0, 255));
}

}  // namespace

std::vector<TSimulatedMinutiaPair> PairMinutiae(const TFeatureSet& AFirst, const TFeatureSet& ASecond) {
  std::vector<TCandidate> candidates = Candidates(AFirst, ASecond);
  std::sort(candidates.begin(), candidates.end());
  std::vector<bool> firstUsed(AFirst.Minutiae.size());
  std::vector<bool> secondUsed(ASecond.Minutiae.size());
  std::vector<TSimulatedMinutiaPair> pairs;
  for (const TCandidate& c : candidates) {
    if (firstUsed[c.First] || secondUsed[c.Second]) continue;
    firstUsed[c.First] = secondUsed[c.Second] = true;
    pairs.push_back({c.First, c.Second});
  }
  return pairs;
}

int32_t MatchScore(const TFeatureSet& AFirst, const TFeatureSet& ASecond) {
  const double sizes =
      static_cast<double>(AFirst.Minutiae.size()) * static_cast<double>(ASecond.Minutiae.size());
  if (sizes == 0) return 0;
  const double paired = static_cast<double>(PairMinutiae(AFirst, ASecond).size());
  return static_cast<int32_t>(std::lround(100.0 * paired * paired / sizes));
}

int32_t ScoreTemplates(std::u16string_view AFirst, std::u16string_view ASecond) {
  const auto first = DecodeTemplate(AFirst);
  const auto second = DecodeTemplate(ASecond);
  return first && second ? MatchScore(*first, *second) : 0;
}

TFeatureSet FuseEnrolmentPresses(const std::vector<TFeatureSet>& APresses) {
  if (APresses.empty()) return {};
  const TFeatureSet& base = APresses.front();
  const std::size_t others = APresses.size() - 1;
  struct TSums {
    double X = 0, Y = 0, Angle = 0;
    int Hits = 0;
  };
  std::vector<TSums> sums(base.Minutiae.size());
  int qualitySum = base.Quality;
  for (std::size_t k = 1; k < APresses.size(); ++k) {
    const TFeatureSet& press = APresses[k];
    qualitySum += press.Quality;
    for (const TSimulatedMinutiaPair& pair : PairMinutiae(base, press)) {
      const TSimulatedMinutia& a = base.Minutiae[pair.First];
      const TSimulatedMinutia& b = press.Minutiae[pair.Second];
      TSums& s = sums[pair.First];
      s.X += b.X - a.X;
      s.Y += b.Y - a.Y;
      s.Angle += AngleDelta(a.Angle, b.Angle);
      ++s.Hits;
    }
  }
  TFeatureSet fused;
  fused.Quality = qualitySum / static_cast<int>(APresses.size());
  for (std::size_t i = 0; i < base.Minutiae.size(); ++i) {
    const TSums& s = sums[i];
    if (2 * static_cast<std::size_t>(s.Hits) < others) continue;
    const TSimulatedMinutia& a = base.Minutiae[i];
    const int samples = s.Hits + 1;
    const int angle = static_cast<int>(std::lround(a.Angle + s.Angle / samples));
    fused.Minutiae.push_back({AverageByte(a.X, s.X, samples), AverageByte(a.Y, s.Y, samples),
                              static_cast<uint8_t>((angle % 256 + 256) % 256), a.Kind});
  }
  return fused;
}
