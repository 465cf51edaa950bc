#include <gtest/gtest.h>

#include <string>

#include "JsonTestSupport.h"

namespace {

struct TEscapeCase {
  const char16_t* Json;  // the inside of a JSON string
  std::u16string Value;
};

std::u16string StringValue(std::u16string_view AJsonInside) {
  auto object = ParseObject(u"{\"s\":\"" + std::u16string(AJsonInside) + u"\"}");
  return object->GetString(u"s");
}

std::u16string Quoted(std::u16string_view AValue) {
  TJsonObject object;
  object.SetString(u"s", AValue);
  const std::u16string text = object.ToString();
  return text.substr(6, text.size() - 8);
}

}  // namespace

TEST(JsonString, EscapesInInput) {
  const TEscapeCase cases[] = {
      {u"plain", u"plain"},
      {u"", u""},
      {u"\\\"\\\\\\/", u"\"\\/"},
      {u"\\b\\f\\n\\r\\t", u"\b\f\n\r\t"},
      {u"\\u0041\\u00e9\\u00E9", u"A\u00e9\u00e9"},
      // \u gives one code unit: pairs and lone surrogates alike.
      {u"\\uD83D\\uDE00", std::u16string{char16_t(0xD83D), char16_t(0xDE00)}},
      {u"x\\uDC00y", std::u16string{u'x', char16_t(0xDC00), u'y'}},
      {u"\\u0000", std::u16string(1, u'\0')},
      // Any other escaped character stands for itself, a line break included.
      {u"\\q\\'\\ \\\u00e9", u"q' \u00e9"},
      {u"a\\\nb", u"a\nb"},
      // Raw characters other than CR and LF are taken over, control characters included.
      {u"\t\x01\u00e9\U0001F600", u"\t\x01\u00e9\U0001F600"},
      {u"long run without escapes then one \\n and another long run",
       u"long run without escapes then one \n and another long run"},
  };
  for (const TEscapeCase& c : cases) {
    SCOPED_TRACE(std::u16string_view(c.Json).size());
    EXPECT_EQ(StringValue(c.Json), c.Value);
  }
}

TEST(JsonString, QuotingInOutput) {
  const TEscapeCase cases[] = {
      {u"\\\"\\\\\\t\u00e9", u"\"\\\t\u00e9"},
      {u"\\b\\f\\n\\r", u"\b\f\n\r"},
      {u"\\u0000\\u0001\\u001f\\u000b", std::u16string{u'\0', u'\x01', u'\x1f', u'\x0b'}},
      // The slash, DEL and everything non-ASCII stay as they are.
      {u"/\x7f\u00e9\U0001F600", u"/\x7f\u00e9\U0001F600"},
      {u"\\u001e\xdc00", std::u16string{u'\x1e', char16_t(0xDC00)}},
  };
  for (const TEscapeCase& c : cases) {
    SCOPED_TRACE(std::u16string_view(c.Json).size());
    EXPECT_EQ(Quoted(c.Value), c.Json);
  }
}

TEST(JsonString, NamesAreQuotedLikeValues) {
  TJsonObject object;
  object.SetInt(u"a\"b\\c\nd\x02", 1);
  EXPECT_EQ(object.ToString(), u"{\"a\\\"b\\\\c\\nd\\u0002\":1}");
  auto parsed = ParseObject(object.ToString());
  EXPECT_EQ(parsed->Names(0), u"a\"b\\c\nd\x02");
}

TEST(JsonString, StringsWithEscapesAtEveryOffset) {
  // Exercises the word-at-a-time scans at every alignment of the special character, in strings
  // shorter than one word, ending on a word and ending inside one.
  for (const size_t length : {1, 7, 13, 40}) {
    for (size_t at = 0; at < length; ++at) {
      std::u16string value(length, u'x');
      value[at] = u'"';
      const std::u16string json = u"{\"s\":" + Quoted(value).insert(0, u"\"") + u"\"}";
      SCOPED_TRACE(testing::Message() << "length " << length << " at " << at);
      EXPECT_EQ(ParseObject(json)->GetString(u"s"), value);
      value[at] = u'\x1f';
      EXPECT_EQ(Quoted(value).find(u"\\u001f"), at);
      value[at] = u'\\';
      EXPECT_EQ(Quoted(value).find(u"\\\\"), at);
    }
  }
}
