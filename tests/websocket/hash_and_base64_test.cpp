#include <gtest/gtest.h>

#include <string>

#include "Base64.h"
#include "IdHashSHA1.h"

namespace {

std::string Hex(const TIdHashSHA1::TDigest& ADigest) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : ADigest) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text;
}

TIdBytes Ascii(std::string_view AText) {
  return TIdBytes(AText.begin(), AText.end());
}

// Bytes that differ from position to position, so a misplaced block or length shows.
TIdBytes Pattern(size_t ALength) {
  TIdBytes bytes(ALength);
  for (size_t i = 0; i < ALength; ++i) bytes[i] = uint8_t(i * 7 + 3);
  return bytes;
}

TEST(SHA1, PublishedVectors) {
  const TIdHashSHA1 hash;
  const struct {
    const char* Name;
    TIdBytes Message;
    const char* Digest;
  } cases[] = {
      {"abc", Ascii("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"two blocks", Ascii("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"empty", {}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"million a", TIdBytes(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Hex(hash.HashBytes(c.Message)), c.Digest);
  }
}

// Lengths around the padding limits: 55 bytes still take the length in the same block, 56 need a
// second one, and 64 fill a block exactly.
TEST(SHA1, PaddingBoundaries) {
  const TIdHashSHA1 hash;
  const struct {
    size_t Length;
    const char* Digest;
  } cases[] = {
      {55, "ddf57317ef34bfee3b6df83d359098930eb278bc"},
      {56, "a0d492bb0fc889d0eca3bc137066ab6f4f74f369"},
      {63, "c55856749bef509bdfe6bfebfc7bf4e793e82132"},
      {64, "bede92be29c3874e1b54ddc77988d606fc857a8e"},
      {65, "b05a80522b053d6dc7e0a517d0e70212c7dad11f"},
      {119, "504e27376a6e0f0dba8295b85cb25dc4dfa17d23"},
      {120, "82134b02fb3f702491be9bed581eeab59334acb2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Length);
    EXPECT_EQ(Hex(hash.HashBytes(Pattern(c.Length))), c.Digest);
  }
}

TEST(SHA1, TextIsHashedAsAsciiUnlessAnEncodingIsGiven) {
  const TIdHashSHA1 hash;
  EXPECT_EQ(hash.HashString(u"a\u00E9c"), hash.HashBytes(Ascii("a?c")));
  EXPECT_EQ(hash.HashString(u"a\u00E9c", &IdTextEncodingUTF8()),
            hash.HashBytes(TIdBytes{'a', 0xC3, 0xA9, 'c'}));
}

TEST(Base64, PublishedVectors) {
  const struct {
    const char* Input;
    const char* Output;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    const TIdBytes input = Ascii(c.Input);
    EXPECT_EQ(Base64Encode(input.data(), input.size()), c.Output);
  }
}

TEST(Base64, LastTwoLettersOfTheAlphabetAndHighBits) {
  const TIdBytes high{0xFB, 0xFF, 0xBF};
  EXPECT_EQ(Base64Encode(high.data(), high.size()), "+/+/");
  const TIdBytes allOnes{0xFF, 0xFF};
  EXPECT_EQ(Base64Encode(allOnes.data(), allOnes.size()), "//8=");
}

}  // namespace
