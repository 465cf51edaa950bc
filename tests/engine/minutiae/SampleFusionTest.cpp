#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SampleFusion.h"

namespace {

struct TFusionCase {
  std::string Name;
  std::vector<int32_t> Scores;
  int32_t Fused;
};

// Each extra sample is one more chance for a stranger: the best score counts 10 log10(n) less.
TEST(SampleFusionTest, BestSampleLessTheExtraChances) {
  const std::vector<TFusionCase> cases = {
      {"no sample", {}, 0},
      {"one sample", {25}, 25},
      {"two samples", {12, 20}, 17},
      {"three samples, one good", {3, 30, 0}, 25},
      {"three weak samples stay at zero", {4, 4, 4}, 0},
      {"full score", {100, 100, 100}, 95},
  };
  for (const TFusionCase& c : cases) {
    EXPECT_EQ(FuseSampleScores(c.Scores), c.Fused) << c.Name;
  }
}

}  // namespace
