#include <gtest/gtest.h>

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
    for (int i = 0; i < 6; ++i) enrolment.Presses.push_back(MakeSyntheticPress(finger, conditions, random));
  }
  return enrolments;
}

TEST(EnrollmentMergeTest, LaterPressesMatchTheMergedTemplateBetterThanTheFirstPress) {
  int64_t singleSum = 0, mergedSum = 0;
  int singleMisses = 0, mergedMisses = 0;
  for (const TEnrolment& enrolment : MakeEnrolments(40, 31)) {
    const std::span<const TMinutiaeTemplate> presses(enrolment.Presses);
    const TPreparedTemplate single(presses.front());
    const TPreparedTemplate merged(MergeEnrollment(presses.first(kEnrolPresses)));
    for (const TMinutiaeTemplate& later : presses.subspan(kEnrolPresses)) {
      const TPreparedTemplate probe(later);
      const int32_t singleScore = CompareMinutiae(single, probe);
      const int32_t mergedScore = CompareMinutiae(merged, probe);
      singleSum += singleScore;
      mergedSum += mergedScore;
      singleMisses += singleScore < kThreshold;
      mergedMisses += mergedScore < kThreshold;
    }
  }
  EXPECT_GT(mergedSum, singleSum * 11 / 10);
  EXPECT_LE(mergedMisses, singleMisses);
}

TEST(EnrollmentMergeTest, MergedTemplateIsAValidTemplateThatMatchesEachPress) {
  for (const TEnrolment& enrolment : MakeEnrolments(10, 32)) {
    const std::span<const TMinutiaeTemplate> presses = std::span(enrolment.Presses).first(kEnrolPresses);
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
    for (const TMinutiaeTemplate& press : presses) EXPECT_GE(CompareMinutiae(merged, press), kThreshold);
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

TEST(EnrollmentMergeTest, APressOfAnotherFingerDoesNotSpoilTheMerge) {
  std::mt19937 random(6);
  const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
  const std::vector<TMinutiaeTemplate> presses = {
      MakeSyntheticPress(finger, {}, random),
      MakeSyntheticPress(finger, {}, random),
      MakeSyntheticPress(MakeSyntheticFinger(random), {}, random),
  };
  const TMinutiaeTemplate withStranger = MergeEnrollment(presses);
  const TMinutiaeTemplate withoutStranger = MergeEnrollment(std::span(presses).first(2));
  const TMinutiaeTemplate later = MakeSyntheticPress(finger, {}, random);
  EXPECT_GE(CompareMinutiae(withStranger, later), kThreshold);
  EXPECT_GE(CompareMinutiae(withoutStranger, later), kThreshold);
}

}  // namespace
