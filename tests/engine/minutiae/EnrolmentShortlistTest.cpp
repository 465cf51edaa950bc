#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "EnrolmentShortlist.h"
#include "MinutiaeMatcher.h"
#include "SampleFusion.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int32_t kThreshold = 10;
constexpr int kGalleryFingers = 60;
constexpr int kProbedFingers = 12;
constexpr std::size_t kShortlist = 6;

struct TGallery {
  std::vector<TMinutiaeTemplate> Fingers;
  std::vector<std::vector<TPreparedTemplate>> Samples;  // three presses per finger

  std::vector<TEnrolmentSamples> Enrolments() const {
    return {Samples.begin(), Samples.end()};
  }
};

TGallery MakeGallery(std::mt19937& ARandom) {
  TGallery gallery;
  for (int finger = 0; finger < kGalleryFingers; ++finger) {
    gallery.Fingers.push_back(MakeSyntheticFinger(ARandom));
    std::vector<TPreparedTemplate> samples;
    for (int press = 0; press < 3; ++press)
      samples.emplace_back(MakeSyntheticPress(gallery.Fingers.back(), {}, ARandom));
    gallery.Samples.push_back(std::move(samples));
  }
  return gallery;
}

struct TProbeCase {
  std::string Name;
  TPressConditions Conditions;
};

// Whatever the press, a finger that a full comparison matches is among the few enrolments the
// first look keeps out of many: identification then finds what comparing every one would.
TEST(EnrolmentShortlistTest, AMatchingFingerIsAlwaysShortlisted) {
  std::mt19937 random(23);
  const TGallery gallery = MakeGallery(random);
  const std::vector<TEnrolmentSamples> enrolments = gallery.Enrolments();
  const auto with = [](auto AChange) {
    TPressConditions conditions;
    AChange(conditions);
    return conditions;
  };
  const std::vector<TProbeCase> cases = {
      {"usual press", {}},
      {"turned 35 degrees", with([](auto& C) { C.RotationDegrees = 35; })},
      {"half of the finger seen", with([](auto& C) { C.WindowArea = 0.5f; })},
      {"stretched and noisy", with([](auto& C) {
         C.Distortion = 0.06f;
         C.PositionNoise = 3;
         C.DirectionNoiseDegrees = 12;
       })},
      {"many minutiae missed", with([](auto& C) { C.DropRate = 0.4f; })},
  };
  for (const TProbeCase& c : cases) {
    int matched = 0;
    for (std::size_t finger = 0; finger < kProbedFingers; ++finger) {
      const TPreparedTemplate probe(MakeSyntheticPress(gallery.Fingers[finger], c.Conditions, random));
      std::vector<int32_t> scores;
      for (const TPreparedTemplate& sample : gallery.Samples[finger])
        scores.push_back(CompareMinutiae(sample, probe));
      if (FuseSampleScores(scores) < kThreshold) continue;
      ++matched;
      const std::vector<std::size_t> shortlist =
          ShortlistEnrolments(enrolments, std::span(&probe, 1), kShortlist);
      EXPECT_TRUE(std::binary_search(shortlist.begin(), shortlist.end(), finger))
          << c.Name << ", finger " << finger;
    }
    // The case tests the shortlist only if presses of it match at all.
    EXPECT_GE(matched, kProbedFingers / 2) << c.Name;
  }
}

TEST(EnrolmentShortlistTest, ListsTheAskedNumberInAscendingOrder) {
  std::mt19937 random(5);
  const TGallery gallery = MakeGallery(random);
  const std::vector<TEnrolmentSamples> enrolments = gallery.Enrolments();
  const TPreparedTemplate probe(MakeSyntheticPress(gallery.Fingers[7], {}, random));
  const std::vector<std::size_t> shortlist =
      ShortlistEnrolments(enrolments, std::span(&probe, 1), kShortlist);
  EXPECT_EQ(shortlist.size(), kShortlist);
  EXPECT_TRUE(std::is_sorted(shortlist.begin(), shortlist.end()));
  EXPECT_EQ(std::adjacent_find(shortlist.begin(), shortlist.end()), shortlist.end());
  // A gallery no larger than the shortlist is compared in full.
  const std::vector<std::size_t> all =
      ShortlistEnrolments(std::span(enrolments).first(4), std::span(&probe, 1), kShortlist);
  EXPECT_EQ(all, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_TRUE(ShortlistEnrolments({}, std::span(&probe, 1), kShortlist).empty());
}

}  // namespace
