#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FingerMatcher.h"
#include "FingerTemplate.h"

namespace {

constexpr int32_t kThreshold = 10;

// A format-"10" text of ABytes with a checksum that holds, whatever the bytes say.
std::u16string Format10Text(std::vector<uint8_t> ABytes) {
  unsigned sum1 = 0, sum2 = 0;
  for (uint8_t b : ABytes) {
    sum1 = (sum1 + b) % 255;
    sum2 = (sum2 + sum1) % 255;
  }
  ABytes.push_back(static_cast<uint8_t>(sum2));
  ABytes.push_back(static_cast<uint8_t>(sum1));
  std::u16string text = u"NQ10:";
  constexpr char16_t digits[] = u"0123456789abcdef";
  for (uint8_t b : ABytes) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text;
}

TEST(FingerTemplateTest, BothFormatsRoundTripAndDiffer) {
  const TFeatureSet press = SimulatePress(5, 77, 1);
  const std::u16string text9 = EncodeTemplate(press, TTemplateFormat::V9);
  const std::u16string text10 = EncodeTemplate(press, TTemplateFormat::V10);
  EXPECT_TRUE(text9.starts_with(u"NQ9:"));
  EXPECT_TRUE(text10.starts_with(u"NQ10:"));
  EXPECT_NE(text9.substr(4), text10.substr(5));

  const auto decoded10 = DecodeTemplate(text10);
  ASSERT_TRUE(decoded10);
  EXPECT_EQ(*decoded10, press);

  // Format 9 keeps directions to 128 steps and carries no quality.
  const auto decoded9 = DecodeTemplate(text9);
  ASSERT_TRUE(decoded9);
  ASSERT_EQ(decoded9->Minutiae.size(), press.Minutiae.size());
  for (std::size_t i = 0; i < press.Minutiae.size(); ++i) {
    const TSimulatedMinutia& a = press.Minutiae[i];
    const TSimulatedMinutia& b = decoded9->Minutiae[i];
    EXPECT_EQ(a.X, b.X);
    EXPECT_EQ(a.Y, b.Y);
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_LE(a.Angle - b.Angle, 1);
    EXPECT_GE(a.Angle - b.Angle, 0);
  }
}

TEST(FingerTemplateTest, MalformedTextsAreRejected) {
  const std::u16string valid9 = EncodeTemplate(SimulatePress(3, 80, 1), TTemplateFormat::V9);
  const std::u16string valid10 = EncodeTemplate(SimulatePress(3, 80, 1), TTemplateFormat::V10);
  std::u16string nonAscii = valid10;
  nonAscii[7] = u'\u00e9';
  std::u16string badKind = EncodeTemplate({80, {{10, 10, 10, 0}}}, TTemplateFormat::V10);
  badKind[5 + 2 * 6 + 1] = u'2';  // kind byte of the only minutia

  const std::u16string notOurs = u"not a simulated sensor template";
  const std::u16string notHex = u"damaged template: not hexadecimal";
  const std::u16string length = u"damaged template: wrong length";
  const std::u16string checksum = u"damaged template: checksum mismatch";
  const std::u16string range = u"damaged template: a value out of range";
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"", notOurs},
      {u"NQ9:", length},
      {u"NQ10:", length},
      {u"nq9:00", notOurs},
      {u"NQ11:0a0000", notOurs},
      {u"NQ9:0", notHex},                              // odd length
      {u"NQ9:0g", notHex},                             // not hex
      {u"NQ9:01aabb", length},                         // one minutia needs three bytes
      {u"NQ9:41" + std::u16string(390, u'0'), range},  // 65 minutiae
      {u"NQ10:0a50000000", checksum},
      {u"NQ10:0b5000" + valid10.substr(11), length},  // wrong version byte, count 0
      {u"NQ10:0a6500" + valid10.substr(11), length},  // quality 101, count 0
      {Format10Text({11, 50, 0}), u"damaged template: its version byte does not match its prefix"},
      {Format10Text({10, 101, 0}), range},
      {Format10Text({10, 50, 1, 10, 10, 10, 2}), range},  // kind 2
      {valid9 + u"00", length},
      {valid10.substr(0, valid10.size() - 2), length},
      {u" " + valid10, notOurs},
      {valid10 + u" ", notHex},
      {nonAscii, notHex},
      {badKind, checksum},
      {std::u16string(100000, u'f'), notOurs},
      {u"NQ10:" + std::u16string(100000, u'0'), length},
  };
  for (const auto& [text, fault] : cases) {
    SCOPED_TRACE(std::string(text.begin(), text.begin() + std::min<std::size_t>(text.size(), 40)));
    EXPECT_FALSE(DecodeTemplate(text));
    EXPECT_EQ(FingerTemplateFault(text), fault);
    EXPECT_EQ(ScoreTemplates(text, valid10), 0);
    EXPECT_EQ(ScoreTemplates(valid9, text), 0);
  }
  EXPECT_EQ(FingerTemplateFault(valid9), u"");
  EXPECT_EQ(FingerTemplateFault(valid10), u"");
}

TEST(FingerTemplateTest, ChecksumCatchesEveryChangedDigit) {
  const std::u16string valid = EncodeTemplate(SimulatePress(8, 90, 4), TTemplateFormat::V10);
  for (std::size_t i = 5; i < valid.size(); ++i) {
    std::u16string changed = valid;
    changed[i] = changed[i] == u'0' ? u'1' : u'0';
    EXPECT_FALSE(DecodeTemplate(changed)) << "digit " << i;
  }
}

TEST(FingerTemplateTest, PressesOfOneFingerMatchAtUsableQuality) {
  for (int32_t quality : {50, 65, 80, 100}) {
    for (int32_t finger = 1; finger <= 40; ++finger) {
      const int32_t score =
          MatchScore(SimulatePress(finger, quality, 1), SimulatePress(finger, quality, 2));
      EXPECT_GE(score, 60) << "finger " << finger << " quality " << quality;
      EXPECT_LE(score, 100);
    }
  }
}

TEST(FingerTemplateTest, DifferentFingersStayFarBelowThreshold) {
  for (int32_t a = 1; a <= 40; ++a) {
    for (int32_t b = a + 1; b <= 40; ++b) {
      EXPECT_LE(MatchScore(SimulatePress(a, 80, 1), SimulatePress(b, 80, 2)), 5)
          << a << " vs " << b;
      // Poor images carry false minutiae, which must not add up to a match either.
      EXPECT_LT(MatchScore(SimulatePress(a, 0, 3), SimulatePress(b, 0, 4)), kThreshold)
          << a << " vs " << b;
    }
  }
}

TEST(FingerTemplateTest, ScoresAreDeterministicAndWorkAcrossFormats) {
  const TFeatureSet first = SimulatePress(12, 80, 21);
  EXPECT_EQ(first, SimulatePress(12, 80, 21));
  EXPECT_NE(first, SimulatePress(12, 80, 22));

  const auto second = SimulatePress(12, 80, 22);
  const int32_t direct = MatchScore(first, second);
  EXPECT_EQ(direct, MatchScore(first, second));
  EXPECT_EQ(ScoreTemplates(EncodeTemplate(first, TTemplateFormat::V10),
                           EncodeTemplate(second, TTemplateFormat::V10)),
            direct);
  EXPECT_GE(ScoreTemplates(EncodeTemplate(first, TTemplateFormat::V9),
                           EncodeTemplate(second, TTemplateFormat::V10)),
            60);
}

TEST(FingerTemplateTest, FusedEnrolmentMatchesLaterPressesOfItsFingerOnly) {
  for (int32_t finger = 1; finger <= 20; ++finger) {
    const TFeatureSet fused = FuseEnrolmentPresses(
        {SimulatePress(finger, 80, 1), SimulatePress(finger, 70, 2), SimulatePress(finger, 90, 3)});
    EXPECT_GE(MatchScore(fused, SimulatePress(finger, 80, 4)), 80) << finger;
    EXPECT_LE(MatchScore(fused, SimulatePress(finger + 100, 80, 4)), 5) << finger;
  }
  EXPECT_TRUE(FuseEnrolmentPresses({}).Minutiae.empty());
}

}  // namespace
