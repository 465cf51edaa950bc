#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "JsonExceptions.h"
#include "JsonTestSupport.h"

namespace {

struct TNumberCase {
  const char* Text;
  TJsonDataType Typ;
  const char* AsText;
};

}  // namespace

TEST(JsonNumber, KindFollowsDigitsAndRange) {
  const TNumberCase cases[] = {
      {"0", jdtInt, "0"},
      {"-0", jdtInt, "0"},
      {"999999999", jdtInt, "999999999"},
      {"-999999999", jdtInt, "-999999999"},
      {"1000000000", jdtLong, "1000000000"},
      {"-1000000000", jdtLong, "-1000000000"},
      // Nine digits at most, whatever their value: leading zeros count.
      {"0000000001", jdtLong, "1"},
      {"2147483647", jdtLong, "2147483647"},
      {"9223372036854775807", jdtLong, "9223372036854775807"},
      {"-9223372036854775808", jdtLong, "-9223372036854775808"},
      {"9223372036854775808", jdtULong, "9223372036854775808"},
      {"18446744073709551615", jdtULong, "18446744073709551615"},
      {"18446744073709551616", jdtFloat, "1.84467440737096e+19"},
      {"-9223372036854775809", jdtFloat, "-9.22337203685478e+18"},
      {"123456789012345678901234567890", jdtFloat, "1.23456789012346e+29"},
      {"1.5", jdtFloat, "1.5"},
      {"-0.25", jdtFloat, "-0.25"},
      {"1e2", jdtFloat, "100"},
      {"1E+2", jdtFloat, "100"},
      {"-2.5e-3", jdtFloat, "-0.0025"},
      {"0.1", jdtFloat, "0.1"},
      {"3.14159265358979323846", jdtFloat, "3.14159265358979"},
      {"123456789012345.0", jdtFloat, "123456789012345"},
      {"1e15", jdtFloat, "1e+15"},
      {"0.0001", jdtFloat, "0.0001"},
      {"0.00001", jdtFloat, "1e-05"},
      {"-0.0", jdtFloat, "0"},
      // Beyond the range of double: the largest double, or zero.
      {"1e400", jdtFloat, "1.79769313486232e+308"},
      {"-1e400", jdtFloat, "-1.79769313486232e+308"},
      {"1.7976931348623157e308", jdtFloat, "1.79769313486232e+308"},
      {"1e-400", jdtFloat, "0"},
      {"1e99999999999999999999", jdtFloat, "1.79769313486232e+308"},
  };
  for (const TNumberCase& c : cases) {
    SCOPED_TRACE(c.Text);
    auto array = ParseArray(u"[" + U16(c.Text) + u"]");
    ASSERT_EQ(array->Count(), 1);
    EXPECT_EQ(array->Items(0).Typ(), c.Typ);
    EXPECT_EQ(array->Items(0).AsString(), U16(c.AsText));
    EXPECT_EQ(array->ToString(), u"[" + U16(c.AsText) + u"]");
  }
}

TEST(JsonNumber, DotOrExponentWithoutDigitsEndsTheNumber) {
  // "1." is the number 1 followed by an invalid symbol; "1e" the number 1 and an identifier.
  EXPECT_THROW(TJsonBaseObject::Parse(u"[1.]"), EJsonParserException);
  EXPECT_THROW(TJsonBaseObject::Parse(u"[1e]"), EJsonParserException);
  EXPECT_THROW(TJsonBaseObject::Parse(u"[1e+]"), EJsonParserException);
  EXPECT_THROW(TJsonBaseObject::Parse(u"[.5]"), EJsonParserException);
}

TEST(JsonNumber, WrittenTextReadsBackUnchanged) {
  // Fifteen significant digits survive the trip through double, even next to its limits.
  const char16_t* text =
      u"[0.1,1e+20,1.5e-07,1.79769313486232e+308,2.2250738585072e-308,"
      u"123456789012345,4.94065645841247e-324]";
  const std::u16string once = TJsonBaseObject::Parse(text)->ToString();
  EXPECT_EQ(TJsonBaseObject::Parse(once)->ToString(), once);
}

namespace {

// A locale whose decimal point is a comma, built for the test with localedef, so that the
// machine need not have one installed. The categories it does not define are taken from POSIX
// by the locale loader; localedef's warnings about them are expected.
class JsonNumberLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/tessiva-locale-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    std::ofstream(FDir + "/comma.src") << "LC_NUMERIC\n"
                                          "decimal_point \"<U002C>\"\n"
                                          "thousands_sep \"<U002E>\"\n"
                                          "grouping 3;3\n"
                                          "END LC_NUMERIC\n";
    const std::string command = "localedef -c -i " + FDir + "/comma.src -f ANSI_X3.4-1968 " + FDir +
                                "/comma >" + FDir + "/localedef.log 2>&1";
    static_cast<void>(std::system(command.c_str()));
    ::setenv("LOCPATH", FDir.c_str(), 1);
    std::stringstream log;
    log << std::ifstream(FDir + "/localedef.log").rdbuf();
    ASSERT_NE(std::setlocale(LC_ALL, "comma"), nullptr) << log.str();
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }

 private:
  std::string FDir;
};

}  // namespace

TEST_F(JsonNumberLocaleTest, FloatTextIgnoresTheProcessLocale) {
  auto array = ParseArray(u"[1.5,-2.25e-7,1234567.125]");
  EXPECT_EQ(array->ToString(), u"[1.5,-2.25e-07,1234567.125]");
  EXPECT_EQ(ParseArray(u"[2.5]")->Items(0).AsString(), u"2.5");
}
