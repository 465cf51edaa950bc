#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Angles.h"
#include "MinutiaeTemplate.h"

namespace {

TMinutiaeTemplate SampleTemplate() {
  return {320,
          480,
          73,
          {{0, 0, 0},
           {319.8f, 479.9f, 6.2831f},  // at the far edges of the frame and of the turn
           {100.3f, 200.6f, 3.14159f},
           {12.125f, 400.5f, 1.0f}}};
}

struct TFormatCase {
  int Format;
  std::u16string Prefix;
  float PositionError;   // largest difference after a round trip
  float DirectionError;  // radians
  bool Sampled;          // the presses of an enrolment
};

void ExpectSameWithin(const TMinutiaeTemplate& AOriginal, const TMinutiaeTemplate& ADecoded,
                      const TFormatCase& AFormat) {
  EXPECT_EQ(ADecoded.Width, AOriginal.Width);
  EXPECT_EQ(ADecoded.Height, AOriginal.Height);
  EXPECT_EQ(ADecoded.Quality, AOriginal.Quality);
  ASSERT_EQ(ADecoded.Minutiae.size(), AOriginal.Minutiae.size());
  for (std::size_t i = 0; i < AOriginal.Minutiae.size(); ++i) {
    const TMinutia& a = AOriginal.Minutiae[i];
    const TMinutia& b = ADecoded.Minutiae[i];
    EXPECT_NEAR(a.X, b.X, AFormat.PositionError) << i;
    EXPECT_NEAR(a.Y, b.Y, AFormat.PositionError) << i;
    EXPECT_LE(AngleDistance(a.Direction, b.Direction), AFormat.DirectionError) << i;
    EXPECT_GE(b.Direction, 0);
    EXPECT_LT(b.Direction, kTwoPi);
  }
}

// Three presses of different sizes, one without minutiae.
std::vector<TMinutiaeTemplate> EnrolmentSamples() {
  return {SampleTemplate(), {256, 360, 40, {}}, {200, 150, 90, {{10, 20, 0.5f}, {199, 149, 6}}}};
}

// A press alone, or the presses of an enrolment as samples.
std::u16string Encode(std::span<const TMinutiaeTemplate> ASamples, const TFormatCase& AFormat) {
  return AFormat.Sampled ? EncodeTemplateSamples(ASamples, AFormat.Format)
                         : EncodeMinutiaeTemplate(ASamples.front(), AFormat.Format);
}

std::optional<std::vector<TMinutiaeTemplate>> Decode(std::u16string_view AText,
                                                     const TFormatCase& AFormat) {
  if (AFormat.Sampled) return DecodeTemplateSamples(AText);
  auto decoded = DecodeMinutiaeTemplate(AText);
  if (!decoded) return std::nullopt;
  return std::vector<TMinutiaeTemplate>{*decoded};
}

TEST(MinutiaeTemplateTest, EveryFormatRoundTripsWithinItsResolution) {
  const std::vector<TFormatCase> cases = {
      {9, u"TSF9:", 1.0f, kTwoPi / 256,
       false},  // whole pixels, the far edge clamped into the frame
      {10, u"TSF10:", 1.0f / 16, kTwoPi / 65536, false},
      {9, u"TSF9S:", 1.0f, kTwoPi / 256, true},
      {10, u"TSF10S:", 1.0f / 16, kTwoPi / 65536, true},
  };
  for (const TFormatCase& c : cases) {
    SCOPED_TRACE(std::string(c.Prefix.begin(), c.Prefix.end()));
    const std::vector<TMinutiaeTemplate> original =
        c.Sampled ? EnrolmentSamples() : std::vector<TMinutiaeTemplate>{SampleTemplate()};
    const std::u16string text = Encode(original, c);
    EXPECT_TRUE(text.starts_with(c.Prefix));
    const auto decoded = Decode(text, c);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i)
      ExpectSameWithin(original[i], (*decoded)[i], c);
    // A decoded template encodes to the same text.
    EXPECT_EQ(Encode(*decoded, c), text);
  }
}

TEST(MinutiaeTemplateTest, EncodingClampsWhatDoesNotFitAndStillDecodes) {
  TMinutiaeTemplate wild{9000, 0, 250, {{-5, 1e6f, -1}, {std::nanf(""), 3, 100}}};
  for (int i = 0; i < 300; ++i) wild.Minutiae.push_back({1, 1, 0});
  for (int format : {9, 10}) {
    const auto decoded = DecodeMinutiaeTemplate(EncodeMinutiaeTemplate(wild, format));
    ASSERT_TRUE(decoded) << format;
    EXPECT_EQ(decoded->Width, kMaxTemplateSide);
    EXPECT_EQ(decoded->Height, 1);
    EXPECT_EQ(decoded->Quality, 100);
    EXPECT_EQ(decoded->Minutiae.size(), kMaxTemplateMinutiae);
    EXPECT_EQ(decoded->Minutiae[0].X, 0);
    EXPECT_GE(decoded->Minutiae[0].Y, 0);
    EXPECT_LT(decoded->Minutiae[0].Y, 1);
  }
}

TEST(MinutiaeTemplateTest, EmptyTemplateRoundTrips) {
  const auto decoded = DecodeMinutiaeTemplate(EncodeMinutiaeTemplate({256, 360, 0, {}}, 10));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->Minutiae.empty());
  EXPECT_EQ(decoded->Width, 256);
}

// Rebuilds a format-10 text from its bytes with a correct checksum, so that each case below is
// rejected for the one fault it has and not for a stale checksum.
std::u16string Format10Text(std::vector<uint8_t> ABytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : ABytes) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  crc ^= 0xFFFFFFFFu;
  for (int shift = 24; shift >= 0; shift -= 8) ABytes.push_back(static_cast<uint8_t>(crc >> shift));
  std::u16string text = u"TSF10:";
  constexpr char16_t digits[] = u"0123456789abcdef";
  for (uint8_t byte : ABytes) {
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 15]);
  }
  return text;
}

// A text that is no template, and why not in the words a client is told.
struct TMalformedCase {
  std::string Name;
  std::u16string Text;
  std::u16string Fault;
};

TEST(MinutiaeTemplateTest, MalformedTextsDecodeToNothing) {
  const std::u16string valid10 = EncodeMinutiaeTemplate(SampleTemplate(), 10);
  const std::u16string valid9 = EncodeMinutiaeTemplate(SampleTemplate(), 9);
  std::u16string upper = valid10;
  for (char16_t& c : upper) c = (c >= u'a' && c <= u'f') ? static_cast<char16_t>(c - 32) : c;
  std::u16string nonAscii = valid10;
  nonAscii[8] = u'\u00e9';
  // width 16, height 16, quality 50, one minutia; x in eighths of a pixel
  const std::vector<uint8_t> header = {10, 0, 16, 0, 16, 50, 1};
  const auto withMinutia = [&](std::vector<uint8_t> AMinutia) {
    std::vector<uint8_t> bytes = header;
    bytes.insert(bytes.end(), AMinutia.begin(), AMinutia.end());
    return bytes;
  };
  ASSERT_TRUE(DecodeMinutiaeTemplate(Format10Text(withMinutia({0, 127, 0, 127, 0xff, 0xff}))));

  const std::u16string notOurs = u"not a fingerprint reader template";
  const std::u16string notHex = u"damaged template: not lowercase hexadecimal";
  const std::u16string length = u"damaged template: wrong length";
  const std::u16string checksum = u"damaged template: checksum mismatch";
  const std::u16string version = u"damaged template: its version byte does not match its prefix";
  const std::u16string range = u"damaged template: a value out of range";
  const std::vector<TMalformedCase> cases = {
      {"empty", u"", notOurs},
      {"prefix only", u"TSF10:", length},
      {"simulated engine, format 9", u"NQ9:01102030", notOurs},
      {"simulated engine, format 10", u"NQ10:0a320110203040aabb", notOurs},
      {"lowercase prefix", u"tsf10:" + valid10.substr(6), notOurs},
      {"format 9 body under the format 10 prefix", u"TSF10:" + valid9.substr(5), version},
      {"format 10 body under the format 9 prefix", u"TSF9:" + valid10.substr(6), version},
      {"uppercase digits", upper, notHex},
      {"character outside ASCII", nonAscii, notHex},
      {"odd length", valid10.substr(0, valid10.size() - 1), notHex},
      {"a byte missing", valid10.substr(0, valid10.size() - 2), checksum},
      {"a byte too many", valid10 + u"00", checksum},
      {"space appended", valid10 + u" ", notHex},
      {"shorter than a header", Format10Text({10, 0, 16}), length},
      {"count larger than the minutiae", Format10Text({10, 0, 16, 0, 16, 50, 2, 0, 8, 0, 8, 0, 0}),
       length},
      {"width zero", Format10Text({10, 0, 0, 0, 16, 50, 0}), range},
      {"height over 4096", Format10Text({10, 0, 16, 0x10, 0x01, 50, 0}), range},
      {"quality over 100", Format10Text({10, 0, 16, 0, 16, 101, 0}), range},
      {"version byte 9 in format 10", Format10Text({9, 0, 16, 0, 16, 50, 0}), version},
      {"minutia right of the frame", Format10Text(withMinutia({0, 128, 0, 0, 0, 0})), range},
      {"minutia below the frame", Format10Text(withMinutia({0, 0, 0, 128, 0, 0})), range},
  };
  for (const auto& [name, text, fault] : cases) {
    EXPECT_FALSE(DecodeMinutiaeTemplate(text)) << name;
    EXPECT_EQ(TemplateSamplesFault(text), fault) << name;
  }
  EXPECT_EQ(TemplateSamplesFault(valid10), u"");
  EXPECT_EQ(TemplateSamplesFault(valid9), u"");
}

TEST(MinutiaeTemplateTest, EveryChangedDigitIsCaught) {
  for (int format : {9, 10}) {
    const std::u16string valid = EncodeMinutiaeTemplate(SampleTemplate(), format);
    const std::size_t bodyStart = valid.find(u':') + 1;
    for (std::size_t i = bodyStart; i < valid.size(); ++i) {
      std::u16string changed = valid;
      changed[i] = changed[i] == u'0' ? u'1' : u'0';
      EXPECT_FALSE(DecodeMinutiaeTemplate(changed)) << "format " << format << ", digit " << i;
      EXPECT_EQ(TemplateSamplesFault(changed), u"damaged template: checksum mismatch") << i;
    }
  }
}

}  // namespace

namespace {

// An enrolment of three presses of 255 minutiae each still fits and comes back whole.
TEST(MinutiaeTemplateTest, SampledTemplatesHoldThreeFullPresses) {
  TMinutiaeTemplate full{4096, 4096, 100, {}};
  for (int i = 0; i < 300; ++i) {
    full.Minutiae.push_back({static_cast<float>(i * 13 % 4096), static_cast<float>(i * 7), 1});
  }
  const std::vector<TMinutiaeTemplate> samples(3, full);
  const auto decoded = DecodeTemplateSamples(EncodeTemplateSamples(samples, 10));
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 3u);
  for (const TMinutiaeTemplate& sample : *decoded) {
    EXPECT_EQ(sample.Minutiae.size(), kMaxTemplateMinutiae);
  }
}

// Earlier single-press templates are enrolments of one sample; a sampled text is never taken for
// a single press, and no text of one kind passes under the other's prefix.
TEST(MinutiaeTemplateTest, SingleAndSampledTemplatesAreNeverTakenForEachOther) {
  const std::vector<TMinutiaeTemplate> samples = EnrolmentSamples();
  for (int format : {9, 10}) {
    SCOPED_TRACE(format);
    const std::u16string single = EncodeMinutiaeTemplate(SampleTemplate(), format);
    const auto asSamples = DecodeTemplateSamples(single);
    ASSERT_TRUE(asSamples);
    ASSERT_EQ(asSamples->size(), 1u);
    EXPECT_EQ(EncodeMinutiaeTemplate(asSamples->front(), format), single);

    const std::u16string sampled = EncodeTemplateSamples(samples, format);
    EXPECT_FALSE(DecodeMinutiaeTemplate(sampled));
    const std::size_t singleBody = single.find(u':') + 1, sampledBody = sampled.find(u':') + 1;
    const std::u16string sampledPrefix = sampled.substr(0, sampledBody);
    const std::u16string singlePrefix = single.substr(0, singleBody);
    EXPECT_FALSE(DecodeTemplateSamples(singlePrefix + sampled.substr(sampledBody)));
    EXPECT_FALSE(DecodeTemplateSamples(sampledPrefix + single.substr(singleBody)));
  }
  EXPECT_FALSE(DecodeTemplateSamples(u"TSF10S:" + EncodeTemplateSamples(samples, 9).substr(6)));
  EXPECT_FALSE(DecodeTemplateSamples(u"TSF9S:" + EncodeTemplateSamples(samples, 10).substr(7)));
}

TEST(MinutiaeTemplateTest, MalformedSampledTextsDecodeToNothing) {
  // Version 110, then the samples: each width 16, height 16, quality 50, no minutiae.
  const std::vector<uint8_t> emptySample = {0, 16, 0, 16, 50, 0};
  const auto sampled = [&](uint8_t ACount, std::size_t AWritten) {
    std::vector<uint8_t> bytes = {110, ACount};
    for (std::size_t i = 0; i < AWritten; ++i) {
      bytes.insert(bytes.end(), emptySample.begin(), emptySample.end());
    }
    return u"TSF10S:" + Format10Text(bytes).substr(6);
  };
  ASSERT_TRUE(DecodeTemplateSamples(sampled(2, 2)));
  const std::u16string length = u"damaged template: wrong length";
  const std::u16string range = u"damaged template: a value out of range";
  const std::vector<TMalformedCase> cases = {
      {"no samples", sampled(0, 0), range},
      {"more samples than written", sampled(3, 2), length},
      {"fewer samples than written", sampled(1, 2), length},
      {"more samples than an enrolment has", sampled(11, 11), range},
      {"prefix only", u"TSF10S:", length},
  };
  for (const auto& [name, text, fault] : cases) {
    EXPECT_FALSE(DecodeTemplateSamples(text)) << name;
    EXPECT_EQ(TemplateSamplesFault(text), fault) << name;
  }
  const std::u16string valid = EncodeTemplateSamples(EnrolmentSamples(), 10);
  for (std::size_t i = 7; i < valid.size(); ++i) {
    std::u16string changed = valid;
    changed[i] = changed[i] == u'0' ? u'1' : u'0';
    EXPECT_FALSE(DecodeTemplateSamples(changed)) << "digit " << i;
  }
}

}  // namespace
