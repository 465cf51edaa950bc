// Replies written straight as UTF-8 must be the bytes the document gives once encoded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IdTextEncoding.h"
#include "JsonArray.h"
#include "JsonObject.h"
#include "JsonReplyWriter.h"

namespace {

std::string AsText(const TIdBytes& ABytes) {
  return std::string(ABytes.begin(), ABytes.end());
}

// The same members both ways: the writer's bytes and the document's encoded text.
std::pair<std::string, std::string> BothWays(const std::u16string& AValue) {
  const std::vector<int32_t> ids = {1, -1, 2147483647, -2147483647 - 1};
  const std::vector<std::u16string> reasons = {AValue, u""};
  TIdBytes written;
  TJsonReplyWriter writer(written);
  writer.String(u"event", u"Finger Scan Info");
  writer.String(u"state", AValue);
  writer.Int(u"quality", 0);
  writer.IntArray(u"ids", ids);
  writer.StringArray(u"reasons", reasons);
  writer.IntArray(u"none", {});
  writer.StringArray(u"empty", {});
  writer.String(AValue, u"as a name");
  writer.Finish();

  TJsonObject document;
  document.SetString(u"event", u"Finger Scan Info");
  document.SetString(u"state", AValue);
  document.SetInt(u"quality", 0);
  TJsonArray& idList = document.AddItem(u"ids").NewArray();
  for (int32_t id : ids) idList.AddItem().SetInt(id);
  TJsonArray& reasonList = document.AddItem(u"reasons").NewArray();
  for (const auto& reason : reasons) reasonList.AddItem().SetString(reason);
  document.AddItem(u"none").NewArray();
  document.AddItem(u"empty").NewArray();
  document.AddItem(AValue).SetString(u"as a name");
  return {AsText(written), AsText(IdTextEncodingUTF8().GetBytes(document.ToString()))};
}

class ReplyWriterTest : public testing::TestWithParam<std::u16string> {};

TEST_P(ReplyWriterTest, WritesTheDocumentsBytes) {
  const auto [written, expected] = BothWays(GetParam());
  EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ReplyWriterTest,
                         testing::Values(u"", u"page 1", u"quote \" backslash \\ slash /",
                                         std::u16string(u"\0\x01\b\t\n\f\r\x1f\x7f", 9),
                                         u"caf\u00e9 \u20ac \U0001F600",
                                         std::u16string(1, char16_t(0xD800)) + u"lone high",
                                         u"lone low " + std::u16string(1, char16_t(0xDC00)),
                                         std::u16string(1, char16_t(0xDBFF)) + u"\"",
                                         std::u16string(300, u'x') + u"\n"));

TEST(ReplyWriterTest, WritesCompactJson) {
  TIdBytes written;
  TJsonReplyWriter writer(written);
  writer.String(u"event", u"Verify Mode");
  writer.Int(u"sensor_count", 1);
  writer.String(u"state", u"a\"\n");
  writer.Finish();
  EXPECT_EQ(AsText(written), R"({"event":"Verify Mode","sensor_count":1,"state":"a\"\n"})");
}

}  // namespace
