#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "JsonExceptions.h"
#include "JsonTestSupport.h"

namespace {

struct TErrorCase {
  const char16_t* Text;
  const char* Message;
};

// The message of the parser error for AText, or "no error".
std::string ParseError(std::u16string_view AText) {
  try {
    TJsonBaseObject::Parse(AText);
  } catch (const EJsonParserException& e) {
    return e.what();
  }
  return "no error";
}

std::u16string Repeat(std::u16string_view AText, int ACount) {
  std::u16string text;
  for (int i = 0; i < ACount; ++i) text.append(AText);
  return text;
}

}  // namespace

TEST(JsonParseError, MessagesNameTheTokensAndPosition) {
  const TErrorCase cases[] = {
      {u"{\"a\":1,}", "Expected identifier but found \"}\" (1, 8)"},
      {u"[1,]", "Expected value but found \"]\" (1, 4)"},
      {u"[1 2]", "Expected \"]\" but found value (1, 4)"},
      {u"{\"a\" 1}", "Expected \":\" but found value (1, 6)"},
      {u"{\"a\":}", "Expected value but found \"}\" (1, 6)"},
      {u"{\"a\":1 \"b\":2}", "Expected \"}\" but found value (1, 8)"},
      {u"{\"a\":[1,2}", "Expected \"]\" but found \"}\" (1, 10)"},
      {u"{\"a\":#}", "Expected value but found invalid symbol (1, 6)"},
      {u"{\"a\":-x}", "Expected value but found invalid symbol (1, 6)"},
      {u"{\"a\":\u00e9}", "Expected value but found invalid symbol (1, 6)"},
      {u"{[]:1}", "Expected identifier but found \"[\" (1, 2)"},
      {u"{\"a\"::1}", "Expected value but found \":\" (1, 6)"},
      {u"hello", "Expected \"{\" but found identifier (1, 1)"},
      {u"  5", "Expected \"{\" but found value (1, 3)"},
      {u"\"text\"", "Expected \"{\" but found value (1, 1)"},
      {u"}", "Expected \"{\" but found \"}\" (1, 1)"},
      {u"{", "Unexpected end of file where identifier was expected (1, 2)"},
      {u"[", "Unexpected end of file where value was expected (1, 2)"},
      {u"{\"a\"", "Unexpected end of file where \":\" was expected (1, 5)"},
      {u"{\"a\":1", "Unexpected end of file where \"}\" was expected (1, 7)"},
      {u"[1,", "Unexpected end of file where value was expected (1, 4)"},
      {u"{\"a\":\"abc", "String not closed (1, 6)"},
      {u"{\"a\":\"abc\\", "String not closed (1, 6)"},
      {u"{\"a\":\"\\u12", "String not closed (1, 6)"},
      {u"{\"a\":\"x\ny\"}", "Invalid character in string (1, 8)"},
      {u"{\"a\":\"x\ry\"}", "Invalid character in string (1, 8)"},
      {u"{\"a\":\"\\u12G4\"}", "Invalid hex number \"G\" (1, 11)"},
      {u"{\"a\":\"\\u00\"}", "Invalid hex number \"\"\" (1, 11)"},
      {u"{\"a\":\"\\u\u00e9000\"}", "Invalid hex number \"\xc3\xa9\" (1, 9)"},
      // Line and column count from 1; only line feeds start a line.
      {u"{\n  \"a\": 1,\n  ]", "Expected identifier but found \"]\" (3, 3)"},
      {u"{\r\n\"a\":\r\n\r\n}", "Expected value but found \"}\" (4, 1)"},
      // The token after the document is read: a bad string there still fails.
      {u"{} \"abc", "String not closed (1, 4)"},
      {u"[]\"a\nb\"", "Invalid character in string (1, 5)"},
  };
  for (const TErrorCase& c : cases) {
    SCOPED_TRACE(c.Message);
    EXPECT_EQ(ParseError(c.Text), c.Message);
  }
}

TEST(JsonParseError, ExceptionCarriesLinePositionAndBaseTypes) {
  try {
    TJsonBaseObject::Parse(u"{\n  \"a\": 1,\n  ]");
    FAIL() << "no exception";
  } catch (const EJsonParserException& e) {
    EXPECT_EQ(e.LineNum(), 3);
    EXPECT_EQ(e.Column(), 3);
    EXPECT_EQ(e.Position(), 14);
  }
  EXPECT_THROW(TJsonBaseObject::Parse(u"{,}"), EJsonException);
  EXPECT_THROW(TJsonBaseObject::Parse(u"{,}"), std::runtime_error);
}

TEST(JsonParseError, NestingBeyondTheLimitFailsWithoutExhaustingTheStack) {
  const int limit = TJsonBaseObject::MaxNestingDepth;
  const std::string tooDeep = "Nesting deeper than " + std::to_string(limit) + " levels (1, ";
  // The first mark beyond the limit is the one reported.
  EXPECT_EQ(ParseError(Repeat(u"[", 1000000)), tooDeep + std::to_string(limit + 1) + ")");
  EXPECT_EQ(ParseError(Repeat(u"{\"a\":", 1000000)), tooDeep + std::to_string(limit * 5 + 1) + ")");
  EXPECT_EQ(ParseError(Repeat(u"[{\"a\":", 500000)), tooDeep + std::to_string(limit * 3 + 1) + ")");
  // One level past the deepest accepted document, closed properly.
  EXPECT_EQ(ParseError(Repeat(u"[", limit + 1) + Repeat(u"]", limit + 1)),
            tooDeep + std::to_string(limit + 1) + ")");
}
