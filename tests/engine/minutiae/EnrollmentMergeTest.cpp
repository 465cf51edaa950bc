#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "EnrollmentMerge.h"
#include "MinutiaeMatcher.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int32_t kThreshold = 10;
constexpr std::size_t kEnrolPresses = 3;

struct TEnrolment {
  std::vector<TMinutiaeTemplate> Presses;  // the enrolment's presses, then later ones
};

std::vector<TEnrolment> MakeEnrolments(int AFingers, unsigned ASeed) {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = 30;
  conditions.WindowArea = 0.6f;  // each press sees a different part: merging has area to gain
  std::mt19937 random(ASeed);
  std::vector<TEnrolment> enrolments(static_cast<std::size_t>(AFingers));
  for (TEnrolment& enrolment : enrolments) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    for (int i = 0; i < 6; ++i)
      enrolment.Presses.push_back(MakeSyntheticPress(finger, conditions, random));
  }
  return enrolments;
}

// Merging pays off where a single press is weakest: later presses that overlap it little.
TEST(EnrollmentMergeTest, LaterPressesMatchTheMergedTemplateBetterThanTheFirstPress) {
  std::vector<int32_t> single, merged;
  for (const TEnrolment& enrolment : MakeEnrolments(100, 31)) {
    const std::span<const TMinutiaeTemplate> presses(enrolment.Presses);
    const TPreparedTemplate first(presses.front());
    const TPreparedTemplate enrolled(MergeEnrollment(presses.first(kEnrolPresses)));
    for (const TMinutiaeTemplate& later : presses.subspan(kEnrolPresses)) {
      const TPreparedTemplate probe(later);
      single.push_back(CompareMinutiae(first, probe));
      merged.push_back(CompareMinutiae(enrolled, probe));
    }
  }
  std::sort(single.begin(), single.end());
  std::sort(merged.begin(), merged.end());
  const auto misses = [](const std::vector<int32_t>& AScores) {
    return std::count_if(AScores.begin(), AScores.end(), [](int32_t A) { return A < kThreshold; });
  };
  const auto sum = [](const std::vector<int32_t>& AScores) {
    return std::accumulate(AScores.begin(), AScores.end(), 0);
  };
  EXPECT_LE(misses(merged), misses(single));
  EXPECT_GT(merged[merged.size() / 10], single[single.size() / 10]);  // the weakest tenth
  EXPECT_GT(sum(merged), sum(single));
}

TEST(EnrollmentMergeTest, MergedTemplateIsAValidTemplateThatMatchesEachPress) {
  for (const TEnrolment& enrolment : MakeEnrolments(10, 32)) {
    const std::span<const TMinutiaeTemplate> presses =
        std::span(enrolment.Presses).first(kEnrolPresses);
    const TMinutiaeTemplate merged = MergeEnrollment(presses);
    ASSERT_FALSE(merged.Minutiae.empty());
    EXPECT_LE(merged.Minutiae.size(), kMaxTemplateMinutiae);
    for (const TMinutia& minutia : merged.Minutiae) {
      EXPECT_GE(minutia.X, 0);
      EXPECT_GE(minutia.Y, 0);
      EXPECT_LT(minutia.X, static_cast<float>(merged.Width));
      EXPECT_LT(minutia.Y, static_cast<float>(merged.Height));
    }
    EXPECT_GE(merged.Width, presses.front().Width);
    EXPECT_GE(merged.Height, presses.front().Height);
    const auto decoded = DecodeMinutiaeTemplate(EncodeMinutiaeTemplate(merged, 10));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Minutiae.size(), merged.Minutiae.size());
    for (const TMinutiaeTemplate& press : presses)
      EXPECT_GE(CompareMinutiae(merged, press), kThreshold);
  }
}

TEST(EnrollmentMergeTest, OneOrNoPress) {
  std::mt19937 random(4);
  const TMinutiaeTemplate press = MakeSyntheticPress(MakeSyntheticFinger(random), {}, random);
  const TMinutiaeTemplate merged = MergeEnrollment(std::span(&press, 1));
  EXPECT_EQ(merged.Minutiae.size(), press.Minutiae.size());
  EXPECT_EQ(merged.Quality, press.Quality);
  EXPECT_TRUE(MergeEnrollment({}).Minutiae.empty());
}

bool SameMinutiae(const TMinutiaeTemplate& A, const TMinutiaeTemplate& B) {
  return A.Width == B.Width && A.Height == B.Height &&
         std::equal(A.Minutiae.begin(), A.Minutiae.end(), B.Minutiae.begin(), B.Minutiae.end(),
                    [](const TMinutia& AOne, const TMinutia& ATwo) {
                      return AOne.X == ATwo.X && AOne.Y == ATwo.Y &&
                             AOne.Direction == ATwo.Direction;
                    });
}

// A stranger's press among an enrolment's is left out whole: none of its minutiae join the
// template, none of the finger's are dropped as contradicted by it, and the template neither
// matches the stranger nor loses the finger. Wherever the stranger comes in the order after
// the first press.
TEST(EnrollmentMergeTest, APressOfAnotherFingerDoesNotSpoilTheMerge) {
  for (unsigned seed = 6; seed < 14; ++seed) {
    for (std::size_t strangerAt : {1u, 2u}) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", stranger at " << strangerAt);
      std::mt19937 random(seed);
      const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
      const TMinutiaeTemplate stranger = MakeSyntheticPress(MakeSyntheticFinger(random), {}, random);
      std::vector<TMinutiaeTemplate> own = {MakeSyntheticPress(finger, {}, random),
                                            MakeSyntheticPress(finger, {}, random)};
      std::vector<TMinutiaeTemplate> presses = own;
      presses.insert(presses.begin() + static_cast<std::ptrdiff_t>(strangerAt), stranger);
      const TMinutiaeTemplate withStranger = MergeEnrollment(presses);
      const TMinutiaeTemplate withoutStranger = MergeEnrollment(own);
      EXPECT_TRUE(SameMinutiae(withStranger, withoutStranger));
      EXPECT_LT(CompareMinutiae(withStranger, stranger), kThreshold);
      const TMinutiaeTemplate later = MakeSyntheticPress(finger, {}, random);
      EXPECT_GE(CompareMinutiae(withStranger, later), kThreshold);
    }
  }
}

}  // namespace
