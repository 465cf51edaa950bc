#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "NearestNeighbours.h"

namespace {

// The definition the search must reproduce: every other minutia sorted by squared distance
// (computed as matching computes it), ties to the lower index.
std::vector<uint16_t> SortedNeighbours(const std::vector<TMinutia>& AMinutiae, std::size_t AFrom,
                                       std::size_t ACount) {
  std::vector<std::pair<float, uint16_t>> others;
  for (std::size_t to = 0; to < AMinutiae.size(); ++to) {
    if (to == AFrom) continue;
    const float dx = AMinutiae[to].X - AMinutiae[AFrom].X,
                dy = AMinutiae[to].Y - AMinutiae[AFrom].Y;
    others.emplace_back(dx * dx + dy * dy, static_cast<uint16_t>(to));
  }
  std::sort(others.begin(), others.end());
  std::vector<uint16_t> nearest;
  for (std::size_t k = 0; k < std::min(ACount, others.size()); ++k)
    nearest.push_back(others[k].second);
  return nearest;
}

std::vector<TMinutia> Scattered(int ACount, unsigned ASeed) {
  std::mt19937 random(ASeed);
  std::uniform_real_distribution<float> x(0, 300), y(0, 400);
  std::vector<TMinutia> minutiae;
  for (int i = 0; i < ACount; ++i) minutiae.push_back({x(random), y(random), 0});
  return minutiae;
}

// Many equal distances: ties decide most of the order.
std::vector<TMinutia> Grid(int ASide) {
  std::vector<TMinutia> minutiae;
  for (int i = 0; i < ASide * ASide; ++i)
    minutiae.push_back({static_cast<float>(i % ASide * 10), static_cast<float>(i / ASide * 10), 0});
  return minutiae;
}

// Points in a row of one Y, and points on top of each other.
std::vector<TMinutia> RowWithDuplicates() {
  std::vector<TMinutia> minutiae;
  for (int i = 0; i < 20; ++i) minutiae.push_back({static_cast<float>(i % 7 * 13), 50, 0});
  return minutiae;
}

struct TNeighbourCase {
  std::string Name;
  std::vector<TMinutia> Minutiae;
  std::size_t Count;
};

TEST(NearestNeighboursTest, FindsWhatSortingAllOthersFinds) {
  const std::vector<TNeighbourCase> cases{
      {"scattered", Scattered(80, 3), 12},
      {"scattered, all wanted", Scattered(30, 5), 29},
      {"more wanted than there are", Scattered(7, 9), 12},
      {"the most kept", Scattered(255, 11), kMaxNearestNeighbours},
      {"grid", Grid(8), 12},
      {"row with duplicates", RowWithDuplicates(), 8},
      {"one minutia", Scattered(1, 13), 12},
      {"none wanted", Scattered(10, 15), 0},
  };
  for (const TNeighbourCase& testCase : cases) {
    const TNeighbourSearch search(testCase.Minutiae);
    for (std::size_t from = 0; from < testCase.Minutiae.size(); ++from) {
      std::vector<uint16_t> found(testCase.Count);
      found.resize(search.Find(from, found));
      EXPECT_EQ(found, SortedNeighbours(testCase.Minutiae, from, testCase.Count))
          << testCase.Name << ", minutia " << from;
    }
  }
}

}  // namespace
