#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MinutiaeMatcher.h"
#include "MinutiaeTemplateCodec.h"
#include "SyntheticMinutiae.h"

namespace {

constexpr int32_t kThreshold = 10;
constexpr int kFingersPerCase = 20;

TPressConditions Exact() {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = 0;
  conditions.MaxShift = 0;
  conditions.Distortion = 0;
  conditions.PositionNoise = 0;
  conditions.DirectionNoiseDegrees = 0;
  conditions.DropRate = 0;
  conditions.SpuriousRate = 0;
  return conditions;
}

template <typename TChange>
TPressConditions ExactBut(TChange AChange) {
  TPressConditions conditions = Exact();
  AChange(conditions);
  return conditions;
}

struct TSameFingerCase {
  std::string Name;
  TPressConditions Conditions;
  int32_t MinMedian;  // what the median of the case's scores reaches at least
};

// The finger's full minutiae set, enrolled, against one press of it that differs in one way
// (or all): every score must pass the threshold, the typical one by far.
TEST(MinutiaeMatcherTest, PressesOfTheEnrolledFingerPass) {
  const std::vector<TSameFingerCase> cases = {
      {"identical", Exact(), 90},
      {"turned -30 degrees", ExactBut([](auto& C) { C.RotationDegrees = -30; }), 90},
      {"turned +30 degrees", ExactBut([](auto& C) { C.RotationDegrees = 30; }), 90},
      {"shifted 60 px", ExactBut([](auto& C) { C.MaxShift = 60; }), 60},
      {"stretched 5 %", ExactBut([](auto& C) { C.Distortion = 0.05f; }), 60},
      {"extractor noise", ExactBut([](auto& C) {
         C.PositionNoise = 3;
         C.DirectionNoiseDegrees = 10;
       }),
       60},
      {"20 % minutiae missing", ExactBut([](auto& C) { C.DropRate = 0.2f; }), 60},
      {"10 % spurious near the border", ExactBut([](auto& C) { C.SpuriousRate = 0.1f; }), 60},
      {"60 % of the finger seen", ExactBut([](auto& C) { C.WindowArea = 0.6f; }), 60},
      {"all at once", ExactBut([](auto& C) {
         C = TPressConditions{};
         C.RotationSpreadDegrees = 30;
         C.WindowArea = 0.6f;
       }),
       30},
  };
  std::mt19937 random(2024);
  for (const TSameFingerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<int32_t> scores;
    for (int i = 0; i < kFingersPerCase; ++i) {
      const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
      scores.push_back(CompareMinutiae(finger, MakeSyntheticPress(finger, c.Conditions, random)));
    }
    std::sort(scores.begin(), scores.end());
    EXPECT_GE(scores.front(), kThreshold);
    EXPECT_GE(scores[scores.size() / 2], c.MinMedian);
  }
}

TEST(MinutiaeMatcherTest, TwoPressesOfOneFingerPass) {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = 30;
  std::mt19937 random(77);
  for (int i = 0; i < kFingersPerCase; ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    const TMinutiaeTemplate first = MakeSyntheticPress(finger, conditions, random);
    const TMinutiaeTemplate second = MakeSyntheticPress(finger, conditions, random);
    EXPECT_GE(CompareMinutiae(first, second), kThreshold) << i;
  }
}

TEST(MinutiaeMatcherTest, DifferentFingersStayBelowTheThreshold) {
  TPressConditions conditions;
  conditions.RotationSpreadDegrees = 30;
  std::mt19937 random(99);
  std::vector<TPreparedTemplate> presses;
  for (int i = 0; i < 25; ++i)
    presses.emplace_back(MakeSyntheticPress(MakeSyntheticFinger(random), conditions, random));
  for (std::size_t a = 0; a < presses.size(); ++a) {
    for (std::size_t b = a + 1; b < presses.size(); ++b) {
      EXPECT_LT(CompareMinutiae(presses[a], presses[b]), kThreshold) << a << " " << b;
    }
  }
}

TEST(MinutiaeMatcherTest, Format9MatchesAsWellAsFormat10) {
  std::mt19937 random(5);
  for (int i = 0; i < 10; ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    const TMinutiaeTemplate press = MakeSyntheticPress(finger, {}, random);
    const auto coarse = DecodeMinutiaeTemplate(EncodeMinutiaeTemplate(press, 9));
    const auto fine = DecodeMinutiaeTemplate(EncodeMinutiaeTemplate(press, 10));
    ASSERT_TRUE(coarse && fine);
    const int32_t fineScore = CompareMinutiae(finger, *fine);
    EXPECT_GE(CompareMinutiae(finger, *coarse), std::max(kThreshold, fineScore - 10)) << i;
  }
}

TEST(MinutiaeMatcherTest, TemplatesWithTooFewOrDegenerateMinutiaeScoreZero) {
  std::mt19937 random(8);
  const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
  TMinutiaeTemplate stacked{300, 400, 50, std::vector<TMinutia>(40, TMinutia{100, 100, 1})};
  TMinutiaeTemplate crowdedPoint{300, 400, 50,
                                 std::vector<TMinutia>(kMaxTemplateMinutiae, TMinutia{0, 0, 0})};
  TMinutiaeTemplate inALine{300, 400, 50, {}};
  for (int i = 0; i < 40; ++i) inALine.Minutiae.push_back({static_cast<float>(5 * i), 50, 0});
  const std::vector<std::pair<std::string, TMinutiaeTemplate>> poor = {
      {"empty", {300, 400, 50, {}}},
      {"one minutia", {300, 400, 50, {finger.Minutiae[0]}}},
      {"two minutiae", {300, 400, 50, {finger.Minutiae[0], finger.Minutiae[1]}}},
      {"all at one point", stacked},
      {"the most minutiae, all at one point", crowdedPoint},
  };
  for (const auto& [name, poorTemplate] : poor) {
    EXPECT_EQ(CompareMinutiae(poorTemplate, finger), 0) << name;
    EXPECT_EQ(CompareMinutiae(finger, poorTemplate), 0) << name;
  }
  // A line of minutiae has no area to measure an overlap in.
  EXPECT_LT(CompareMinutiae(inALine, finger), kThreshold);
  EXPECT_LT(CompareMinutiae(finger, inALine), kThreshold);
}

// The largest templates a text can hold: every table index and vote counter must still fit.
TEST(MinutiaeMatcherTest, TemplatesOfTheLargestSizeCompare) {
  std::mt19937 random(21);
  std::uniform_real_distribution<float> x(0, 600), y(0, 800), direction(0, 6.28f);
  TMinutiaeTemplate crowded{600, 800, 50, {}};
  for (std::size_t i = 0; i < kMaxTemplateMinutiae; ++i)
    crowded.Minutiae.push_back({x(random), y(random), direction(random)});
  TMinutiaeTemplate moved = crowded;  // shrunk by 2 % and shifted
  for (TMinutia& minutia : moved.Minutiae) {
    minutia.X = std::min(599.0f, minutia.X * 0.98f + 5);
    minutia.Y = std::min(799.0f, minutia.Y * 0.98f + 3);
  }
  EXPECT_EQ(CompareMinutiae(crowded, crowded), 100);
  EXPECT_GE(CompareMinutiae(crowded, moved), kThreshold);
  std::mt19937 other(22);
  EXPECT_LT(CompareMinutiae(crowded, MakeSyntheticFinger(other)), kThreshold);
}

// Verification prepares each template for its side only; the scores must be those of templates
// prepared for every use, whatever the pair, and the sampled text must score as its samples do.
TEST(MinutiaeMatcherTest, TemplatesPreparedForOneSideScoreAsFullyPreparedOnes) {
  std::mt19937 random(31);
  std::vector<TMinutiaeTemplate> fingers, presses;
  for (int i = 0; i < 8; ++i) {
    fingers.push_back(MakeSyntheticFinger(random, 20, 120));
    presses.push_back(MakeSyntheticPress(fingers.back(), {}, random));
  }
  int matches = 0;
  for (std::size_t a = 0; a < fingers.size(); ++a) {
    for (std::size_t b = 0; b < presses.size(); ++b) {
      const int32_t score =
          CompareMinutiae(TPreparedTemplate(fingers[a]), TPreparedTemplate(presses[b]));
      EXPECT_EQ(CompareMinutiae(TPreparedTemplate(fingers[a], TPreparedSide::Enrolled),
                                TPreparedTemplate(presses[b], TPreparedSide::Probe)),
                score)
          << a << " " << b;
      matches += score >= kThreshold;
    }
  }
  EXPECT_GE(matches, 8);  // the pairs include matching ones, not only strangers
  const std::vector<TMinutiaeTemplate> samples{presses[0], fingers[0], presses[1]};
  const std::u16string enrolled = EncodeTemplateSamples(samples, 10);
  for (const TMinutiaeTemplate& probe : presses) {
    const std::u16string text = EncodeMinutiaeTemplate(probe, 9);
    EXPECT_EQ(TMinutiaeTemplateCodec::ScoreTexts(enrolled, text),
              TMinutiaeTemplateCodec::Score(*TMinutiaeTemplateCodec::Decode(enrolled),
                                            *TMinutiaeTemplateCodec::Decode(text)));
  }
  EXPECT_FALSE(TMinutiaeTemplateCodec::ScoreTexts(enrolled, u"TSF9:00"));
  EXPECT_FALSE(TMinutiaeTemplateCodec::ScoreTexts(u"", enrolled));
}

TEST(MinutiaeMatcherTest, SharedPreparedTemplatesGiveTheSameScoresOnEveryThread) {
  std::mt19937 random(13);
  std::vector<TPreparedTemplate> presses;
  for (int i = 0; i < 6; ++i) {
    const TMinutiaeTemplate finger = MakeSyntheticFinger(random);
    presses.emplace_back(MakeSyntheticPress(finger, {}, random));
    presses.emplace_back(MakeSyntheticPress(finger, {}, random));
  }
  const auto scoreAll = [&] {
    std::vector<int32_t> scores;
    for (const auto& a : presses) {
      for (const auto& b : presses) scores.push_back(CompareMinutiae(a, b));
    }
    return scores;
  };
  const std::vector<int32_t> expected = scoreAll();
  std::vector<int32_t> first, second;
  std::thread one([&] { first = scoreAll(); });
  std::thread two([&] { second = scoreAll(); });
  one.join();
  two.join();
  EXPECT_EQ(first, expected);
  EXPECT_EQ(second, expected);
}

}  // namespace
