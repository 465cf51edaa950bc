#include "EnrollmentMerge.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "Angles.h"
#include "MinutiaeAlignment.h"
#include "MinutiaeMatcher.h"

namespace {

// How close a minutia of one press must come to one of another press to be the same, once
// aligned; like the matcher's tolerances, a little tighter since both are placed in one frame.
constexpr float kSamePlace = 12;
constexpr float kSameDirection = DegreesToRadians(30);
// How far inside another press's area an unconfirmed minutia must lie to count as contradicted.
constexpr float kCoveredDepth = 10;
// A press joins only when it matches press 1 as a verification would: a stranger's press
// always aligns on a few chance pairs, and would bring its minutiae along.
constexpr int32_t kSameFinger = 10;

// One minutia of the merged template and the presses that show it.
struct TMinutiaCluster {
  float SumX = 0, SumY = 0, SumCos = 0, SumSin = 0;
  uint32_t Presses = 0;  // bit per press
  int Count = 0;

  void Add(const TMinutia& AMinutia, std::size_t APress) {
    SumX += AMinutia.X;
    SumY += AMinutia.Y;
    SumCos += std::cos(AMinutia.Direction);
    SumSin += std::sin(AMinutia.Direction);
    Presses |= 1u << (APress % 32);
    ++Count;
  }
  TMinutia Mean() const {
    const auto n = static_cast<float>(Count);
    return {SumX / n, SumY / n, NormalizeAngle(std::atan2(SumSin, SumCos))};
  }
};

TMinutia Place(const TMinutia& AMinutia, const TRigidTransform& ATransform) {
  const TPlanePoint point = ATransform.Apply({AMinutia.X, AMinutia.Y});
  return {point.X, point.Y, NormalizeAngle(AMinutia.Direction + ATransform.Angle())};
}

// The cluster, not yet fed by APress, that AMinutia falls in; -1 if none.
int NearestCluster(const std::vector<TMinutiaCluster>& AClusters, const TMinutia& AMinutia,
                   std::size_t APress) {
  int nearest = -1;
  float nearestDistance = kSamePlace;
  for (std::size_t i = 0; i < AClusters.size(); ++i) {
    const TMinutiaCluster& cluster = AClusters[i];
    if (cluster.Presses & (1u << (APress % 32))) continue;
    const TMinutia mean = cluster.Mean();
    const float distance = Distance(mean.X - AMinutia.X, mean.Y - AMinutia.Y);
    if (distance <= nearestDistance &&
        AngleDistance(mean.Direction, AMinutia.Direction) <= kSameDirection) {
      nearest = static_cast<int>(i);
      nearestDistance = distance;
    }
  }
  return nearest;
}

struct TPlacedPress {
  std::size_t Index = 0;
  TConvexHull Area;  // in press 1's frame
};

// Whether a press other than the only one that shows the cluster covered its place.
bool Contradicted(const TMinutiaCluster& ACluster, const std::vector<TPlacedPress>& APlaced) {
  const TMinutia mean = ACluster.Mean();
  return std::any_of(APlaced.begin(), APlaced.end(), [&](const TPlacedPress& APress) {
    return !(ACluster.Presses & (1u << (APress.Index % 32))) &&
           APress.Area.Contains({mean.X, mean.Y}, -kCoveredDepth);
  });
}

TMinutiaeTemplate FrameMerged(const std::vector<TMinutiaCluster>& AKept,
                              const TMinutiaeTemplate& AFirst, int32_t AQuality) {
  TMinutiaeTemplate merged{AFirst.Width, AFirst.Height, AQuality, {}};
  for (const TMinutiaCluster& cluster : AKept) merged.Minutiae.push_back(cluster.Mean());
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (const TMinutia& minutia : merged.Minutiae) {
    minX = std::min(minX, minutia.X);
    minY = std::min(minY, minutia.Y);
    maxX = std::max(maxX, minutia.X);
    maxY = std::max(maxY, minutia.Y);
  }
  const float shiftX = std::ceil(-minX), shiftY = std::ceil(-minY);
  for (TMinutia& minutia : merged.Minutiae) {
    minutia.X += shiftX;
    minutia.Y += shiftY;
  }
  merged.Width = std::min(kMaxTemplateSide, std::max(merged.Width + static_cast<int32_t>(shiftX),
                                                     static_cast<int32_t>(maxX + shiftX) + 1));
  merged.Height = std::min(kMaxTemplateSide, std::max(merged.Height + static_cast<int32_t>(shiftY),
                                                      static_cast<int32_t>(maxY + shiftY) + 1));
  std::erase_if(merged.Minutiae, [&](const TMinutia& A) {
    return A.X >= static_cast<float>(merged.Width) || A.Y >= static_cast<float>(merged.Height);
  });
  return merged;
}

}  // namespace

TMinutiaeTemplate MergeEnrollment(std::span<const TMinutiaeTemplate> APresses) {
  if (APresses.empty()) return {};
  const TPreparedTemplate first(APresses.front());
  std::vector<TMinutiaCluster> clusters(first.Minutiae().size());
  for (std::size_t i = 0; i < clusters.size(); ++i) clusters[i].Add(first.Minutiae()[i], 0);
  std::vector<TPlacedPress> placed{{0, first.Area()}};
  for (std::size_t press = 1; press < APresses.size(); ++press) {
    const TPreparedTemplate other(APresses[press]);
    if (CompareMinutiae(first, other) < kSameFinger) continue;
    const TMinutiaeAlignment alignment = AlignMinutiae(first, other);
    if (alignment.Pairs.empty()) continue;
    std::vector<bool> paired(other.Minutiae().size(), false);
    for (const TMinutiaPair& pair : alignment.Pairs) {
      clusters[pair.Enrolled].Add(Place(other.Minutiae()[pair.Probe], alignment.ProbeToEnrolled),
                                  press);
      paired[pair.Probe] = true;
    }
    for (std::size_t i = 0; i < other.Minutiae().size(); ++i) {
      if (paired[i]) continue;
      const TMinutia minutia = Place(other.Minutiae()[i], alignment.ProbeToEnrolled);
      const int cluster = NearestCluster(clusters, minutia, press);
      if (cluster >= 0) {
        clusters[static_cast<std::size_t>(cluster)].Add(minutia, press);
      } else {
        clusters.emplace_back().Add(minutia, press);
      }
    }
    std::vector<TPlanePoint> corners;
    for (const TPlanePoint& corner : other.Area().Corners()) {
      corners.push_back(alignment.ProbeToEnrolled.Apply(corner));
    }
    placed.push_back({press, TConvexHull(corners)});
  }
  std::vector<TMinutiaCluster> kept;
  for (const TMinutiaCluster& cluster : clusters) {
    if (cluster.Count >= 2 || !Contradicted(cluster, placed)) kept.push_back(cluster);
  }
  std::stable_sort(
      kept.begin(), kept.end(),
      [](const TMinutiaCluster& A, const TMinutiaCluster& B) { return A.Count > B.Count; });
  if (kept.size() > kMaxTemplateMinutiae) kept.resize(kMaxTemplateMinutiae);
  const int32_t qualitySum =
      std::accumulate(APresses.begin(), APresses.end(), 0,
                      [](int32_t A, const TMinutiaeTemplate& B) { return A + B.Quality; });
  return FrameMerged(kept, APresses.front(), qualitySum / static_cast<int32_t>(APresses.size()));
}
