#pragma once

// Verification accuracy from comparison scores: the false non-match rate (genuine pairs scoring
// below a threshold), the false match rate (impostor pairs scoring at or above it) and the equal
// error rate. Higher scores mean more alike; any integer range.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

class TAccuracyTable {
 public:
  void AddGenuine(int AScore) { FGenuine.push_back(AScore); }
  void AddImpostor(int AScore) { FImpostor.push_back(AScore); }

  std::size_t GenuineCount() const { return FGenuine.size(); }
  std::size_t ImpostorCount() const { return FImpostor.size(); }
  const std::vector<int>& GenuineScores() const { return FGenuine; }
  const std::vector<int>& ImpostorScores() const { return FImpostor; }

  double FalseNonMatchRate(int AThreshold) const {
    return ShareOf(FGenuine, [&](int AScore) { return AScore < AThreshold; });
  }
  double FalseMatchRate(int AThreshold) const {
    return ShareOf(FImpostor, [&](int AScore) { return AScore >= AThreshold; });
  }

  struct TEqualError {
    double Rate = 0;
    int Threshold = 0;
  };
  // Where the two error rates come closest, their mean there.
  TEqualError EqualErrorRate() const {
    std::vector<int> thresholds(FGenuine);
    thresholds.insert(thresholds.end(), FImpostor.begin(), FImpostor.end());
    std::sort(thresholds.begin(), thresholds.end());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    if (!thresholds.empty()) thresholds.push_back(thresholds.back() + 1);
    TEqualError best;
    double bestGap = 2;
    for (int threshold : thresholds) {
      const double fnmr = FalseNonMatchRate(threshold), fmr = FalseMatchRate(threshold);
      if (std::fabs(fnmr - fmr) < bestGap) {
        bestGap = std::fabs(fnmr - fmr);
        best = {(fnmr + fmr) / 2, threshold};
      }
    }
    return best;
  }

  // The lowest threshold at which the false match rate is at most AMaxRate: where a matcher's
  // threshold belongs for a wanted security level.
  int ThresholdForFalseMatchRate(double AMaxRate) const {
    std::vector<int> thresholds(FImpostor);
    std::sort(thresholds.begin(), thresholds.end());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    for (int threshold : thresholds) {
      if (FalseMatchRate(threshold) <= AMaxRate) return threshold;
    }
    return thresholds.empty() ? 0 : thresholds.back() + 1;
  }

  // The score below which AShare of the genuine (or impostor) scores lie.
  int GenuineQuantile(double AShare) const { return Quantile(FGenuine, AShare); }
  int ImpostorQuantile(double AShare) const { return Quantile(FImpostor, AShare); }

 private:
  template <typename TPredicate>
  static double ShareOf(const std::vector<int>& AScores, TPredicate APredicate) {
    if (AScores.empty()) return 0;
    return static_cast<double>(std::count_if(AScores.begin(), AScores.end(), APredicate)) /
           static_cast<double>(AScores.size());
  }
  static int Quantile(std::vector<int> AScores, double AShare) {
    if (AScores.empty()) return 0;
    const auto index = std::min(
        AScores.size() - 1, static_cast<std::size_t>(AShare * static_cast<double>(AScores.size())));
    std::nth_element(AScores.begin(), AScores.begin() + static_cast<std::ptrdiff_t>(index),
                     AScores.end());
    return AScores[index];
  }

  std::vector<int> FGenuine;
  std::vector<int> FImpostor;
};
