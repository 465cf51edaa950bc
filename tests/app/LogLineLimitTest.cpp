#include <gtest/gtest.h>

#include <string>

#include "LogLineLimit.h"
#include "Utf8Text.h"

namespace {

TEST(LogLineLimitTest, LongLinesAreCutWithTheirFullLengthNoted) {
  const std::u16string atLimit(kLogLineShownUnits, u'a');
  const std::u16string mebibyte(1 << 20, u'x');
  // A pair of surrogates (four UTF-8 bytes) across the limit is kept or dropped whole.
  const std::u16string pairAcross =
      std::u16string(kLogLineShownUnits - 1, u'b') + u"\U0001F600" + u"tail";
  const struct {
    const char* Name;
    std::u16string Line;
    std::u16string Shown;
  } cases[] = {
      {"short", u"[x] - short", u"[x] - short"},
      {"at the limit", atLimit, atLimit},
      {"one over", atLimit + u"é", atLimit + u"... (4098 bytes)"},
      {"a MiB", mebibyte, mebibyte.substr(0, kLogLineShownUnits) + u"... (1048576 bytes)"},
      {"pair across the limit", pairAcross,
       std::u16string(kLogLineShownUnits - 1, u'b') + u"... (4103 bytes)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string shown = ShownLogLine(c.Line);
    const std::string expected = ToUtf8(c.Shown);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << shown.substr(shown.size() > 40 ? shown.size() - 40 : 0);
  }
}

}  // namespace
