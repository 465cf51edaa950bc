#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Angles.h"
#include "EdgeHash.h"

namespace {

// The hash may return extra candidates but must never miss an edge that matches: a miss would
// silently lose alignments. Random edges over the whole range of lengths, with angles and
// lengths near each other's bin borders as often as anywhere else.
TEST(EdgeHashTest, FindsEveryMatchingEdge) {
  std::mt19937 random(17);
  std::uniform_real_distribution<float> length(0, 700), angle(0, kTwoPi), nudge(-1, 1);
  std::vector<TEdgeShape> filed;
  for (int i = 0; i < 3000; ++i) filed.push_back({length(random), 0, angle(random), angle(random)});
  const TEdgeHash hash(filed);
  int matches = 0;
  for (int i = 0; i < 3000; ++i) {
    // Near a filed edge, so that many looked-up edges do match one.
    const TEdgeShape& near = filed[static_cast<std::size_t>(i)];
    const TEdgeShape looked{std::max(0.0f, near.Length * (1 + 0.12f * nudge(random)) + 9 * nudge(random)), 0,
                            NormalizeAngle(near.FromAngle + DegreesToRadians(35) * nudge(random)),
                            NormalizeAngle(near.ToAngle + DegreesToRadians(35) * nudge(random))};
    const auto candidates = hash.Candidates(TEdgeHash::CellOf(looked));
    for (std::size_t j = 0; j < filed.size(); ++j) {
      if (!EdgesMatch(looked, filed[j])) continue;
      ++matches;
      EXPECT_NE(std::find(candidates.begin(), candidates.end(), j), candidates.end())
          << "edge " << j << " missed for look-up " << i;
    }
  }
  EXPECT_GT(matches, 1000);  // the case exercises matches, not only misses
}

TEST(EdgeHashTest, EmptyHashFindsNothing) {
  const TEdgeHash empty;
  EXPECT_TRUE(empty.Candidates(TEdgeHash::CellOf({50, 0, 1, 2})).empty());
  const TEdgeHash none(std::span<const TEdgeShape>{});
  EXPECT_TRUE(none.Candidates(TEdgeHash::CellOf({50, 0, 1, 2})).empty());
}

}  // namespace
