#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FingerprintCacheSet.h"

namespace {

// A template is its text; two score the number of places where they have the same character.
struct TPrefixCodec {
  static std::optional<std::u16string> Decode(std::u16string_view AText) {
    if (AText.empty()) return std::nullopt;
    return std::u16string(AText);
  }
  static int32_t Score(const std::u16string& AEnrolled, const std::u16string& AProbe) {
    int32_t same = 0;
    for (std::size_t i = 0; i < AEnrolled.size() && i < AProbe.size(); ++i)
      same += AEnrolled[i] == AProbe[i];
    return same;
  }
};

// The same, with a shortlist of the templates whose first character is the probe's.
struct TShortlistCodec : TPrefixCodec {
  static std::vector<std::size_t> Shortlist(std::span<const std::u16string* const> AEnrolled,
                                            const std::u16string& AProbe) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < AEnrolled.size(); ++i)
      if (AEnrolled[i]->front() == AProbe.front()) kept.push_back(i);
    return kept;
  }
};

struct TIdentifyCase {
  std::string Name;
  std::u16string Probe;
  int32_t Threshold;
  int32_t ExhaustiveId, ExhaustiveScore;
  int32_t ShortlistId, ShortlistScore;
};

template <class TCodec>
typename TFingerprintCacheSet<std::u16string, TCodec>::TIdentification Identify(
    const TIdentifyCase& ACase) {
  TFingerprintCacheSet<std::u16string, TCodec> caches;
  const int32_t cache = caches.Create();
  const std::vector<std::pair<int32_t, std::u16string>> entries = {
      {7, u"abcd"}, {3, u"abxy"}, {5, u"xbcdef"}, {9, u"abcz"}};
  for (const auto& [id, text] : entries) caches.Add(cache, id, text, text);
  return caches.Identify(cache, ACase.Probe, ACase.Threshold);
}

// Templates off the codec's shortlist are never scored, and are still counted as compared; the
// best of the others wins, ties to the lowest id, as without a shortlist.
TEST(FingerprintCacheSetTest, IdentifiesAmongTheShortlistOnly) {
  const std::vector<TIdentifyCase> cases = {
      {"best match on the list", u"abcz", 1, 9, 4, 9, 4},
      {"tie goes to the lowest id", u"abq", 1, 3, 2, 3, 2},
      {"best match off the list", u"abcdef", 1, 5, 5, 7, 4},
      {"below the threshold keeps the score", u"abcz", 5, -1, 4, -1, 4},
      {"nothing on the list", u"zzz", 0, 3, 0, -1, 0},
      {"an invalid probe compares nothing", u"", 1, -1, 0, -1, 0},
  };
  for (const TIdentifyCase& c : cases) {
    const auto exhaustive = Identify<TPrefixCodec>(c);
    const auto shortlisted = Identify<TShortlistCodec>(c);
    EXPECT_EQ(exhaustive.Id, c.ExhaustiveId) << c.Name;
    EXPECT_EQ(exhaustive.Score, c.ExhaustiveScore) << c.Name;
    EXPECT_EQ(shortlisted.Id, c.ShortlistId) << c.Name;
    EXPECT_EQ(shortlisted.Score, c.ShortlistScore) << c.Name;
    EXPECT_EQ(shortlisted.Compared, exhaustive.Compared) << c.Name;
    EXPECT_EQ(exhaustive.Compared, c.Probe.empty() ? 0 : 4) << c.Name;
  }
}

}  // namespace
