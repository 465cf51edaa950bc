#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "EnrolmentPresses.h"
#include "SyntheticMinutiae.h"

namespace {

using TStep = TEnrolmentPresses::TStep;

// The engine's one-to-one threshold.
constexpr int32_t kThreshold = 10;

struct TPressPlan {
  char Finger;           // 'A', 'B', 'C': three different fingers; '-': no template (a retry)
  int32_t QualityClass;  // 0 good, -1 suspicious, 1 poor
};

struct TEnrolmentRuleCase {
  std::string Name;
  std::vector<TPressPlan> Presses;
  std::vector<TStep> Steps;
};

// Presses of three made-up fingers, each press of one finger shifted, turned and thinned out
// as a reader sees it again.
class TPressMaker {
 public:
  TPressMaker() {
    for (int i = 0; i < 3; ++i) FFingers.push_back(MakeSyntheticFinger(FRandom));
  }
  TAnalysedPress Make(const TPressPlan& APlan) {
    TAnalysedPress press;
    press.QualityClass = APlan.QualityClass;
    if (APlan.Finger != '-') {
      TPressConditions conditions;
      conditions.RotationSpreadDegrees = 10;
      conditions.MaxShift = 20;
      press.Template = MakeSyntheticPress(FFingers[static_cast<std::size_t>(APlan.Finger - 'A')],
                                          conditions, FRandom);
    }
    return press;
  }

 private:
  std::mt19937 FRandom{17};
  std::vector<TMinutiaeTemplate> FFingers;
};

TEST(EnrolmentPressesTest, CountsPressesThatMatchACountedOne) {
  const std::vector<TEnrolmentRuleCase> cases = {
      {"three presses of one finger",
       {{'A', 0}, {'A', 0}, {'A', 0}},
       {TStep::Counted, TStep::Counted, TStep::Finished}},
      {"a suspicious press counts",
       {{'A', 0}, {'A', -1}, {'A', 0}},
       {TStep::Counted, TStep::Counted, TStep::Finished}},
      {"poor presses and retries do not",
       {{'A', 1}, {'A', 0}, {'-', 1}, {'A', 1}, {'A', 0}, {'A', -1}},
       {TStep::NotCounted, TStep::Counted, TStep::NotCounted, TStep::NotCounted, TStep::Counted,
        TStep::Finished}},
      {"one stray press while one is counted is passed over",
       {{'A', 0}, {'B', 0}, {'A', 0}, {'A', 0}},
       {TStep::Counted, TStep::NotCounted, TStep::Counted, TStep::Finished}},
      {"a second stray press fails",
       {{'A', 0}, {'B', 0}, {'C', -1}},
       {TStep::Counted, TStep::NotCounted, TStep::Failed}},
      {"a stray press once two presses agree fails",
       {{'A', 0}, {'A', 0}, {'B', 0}},
       {TStep::Counted, TStep::Counted, TStep::Failed}},
      {"a poor press of another finger is only not counted",
       {{'A', 0}, {'B', 1}, {'A', 0}, {'C', 1}, {'A', 0}},
       {TStep::Counted, TStep::NotCounted, TStep::Counted, TStep::NotCounted, TStep::Finished}},
  };
  for (const TEnrolmentRuleCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPressMaker maker;
    TEnrolmentPresses enrolment(3, kThreshold);
    std::vector<TStep> steps;
    for (const TPressPlan& plan : c.Presses) steps.push_back(enrolment.Add(maker.Make(plan)));
    EXPECT_EQ(steps, c.Steps);
    const bool finished = steps.back() == TStep::Finished;
    EXPECT_EQ(enrolment.Remaining() == 0, finished);
    if (finished) {
      EXPECT_EQ(enrolment.Counted().size(), 3u);
    }
  }
}

TEST(EnrolmentPressesTest, NothingCountsOnceFinished) {
  TPressMaker maker;
  TEnrolmentPresses enrolment(1, kThreshold);
  EXPECT_EQ(enrolment.Add(maker.Make({'A', 0})), TStep::Finished);
  EXPECT_EQ(enrolment.Add(maker.Make({'A', 0})), TStep::NotCounted);
  EXPECT_EQ(enrolment.Counted().size(), 1u);
}

}  // namespace
