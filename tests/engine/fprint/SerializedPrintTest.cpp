#include "SerializedPrint.h"

#include <glib.h>
#include <gmock/gmock.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 360;

// A print as libfprint serialises it, from GVariant's text form of the data after "FP3".
std::vector<uint8_t> Blob(const std::string& AText, const std::string& AMagic = "FP3") {
  GVariant* value = g_variant_ref_sink(g_variant_new_parsed(AText.c_str()));
  std::vector<uint8_t> blob(AMagic.begin(), AMagic.end());
  const auto* data = static_cast<const uint8_t*>(g_variant_get_data(value));
  blob.insert(blob.end(), data, data + g_variant_get_size(value));
  g_variant_unref(value);
  return blob;
}

std::string Print(const std::string& AMinutiae, int AKind = 2) {
  return "(" + std::to_string(AKind) +
         ", 'virtual_image', '0', false, byte 0x00, @ms nothing, @ms nothing, -2147483648, "
         "@a{sv} {}, <" + AMinutiae + ">)";
}

double Degrees(float ARadians) { return ARadians * 180.0 / std::numbers::pi; }

TEST(SerializedPrint, MinutiaeComeOutInImageCoordinatesWithClockwiseRadians) {
  const auto minutiae = MinutiaeFromSerializedPrint(
      Blob(Print("([([12, 200, 0], [101, 360, 1], [124, -56, 0])],)")), kWidth, kHeight);
  ASSERT_EQ(minutiae.size(), 3u);
  const struct {
    float X, Y;
    double Degrees;
  } expected[] = {{12, 259, 236}, {200, 0, 56}, {0, 359, 0}};
  for (size_t i = 0; i < minutiae.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(minutiae[i].X, expected[i].X);
    EXPECT_EQ(minutiae[i].Y, expected[i].Y);
    EXPECT_NEAR(Degrees(minutiae[i].Direction), expected[i].Degrees, 1e-3);
    EXPECT_GE(minutiae[i].Direction, 0.0f);
    EXPECT_LT(minutiae[i].Direction, 2 * std::numbers::pi);
  }
}

TEST(SerializedPrint, AnEmptySetIsNoMinutiae) {
  EXPECT_TRUE(MinutiaeFromSerializedPrint(Blob(Print("([(@ai [], @ai [], @ai [])],)")), kWidth,
                                          kHeight)
                  .empty());
}

TEST(SerializedPrint, MalformedPrintsAreRejected) {
  const std::vector<uint8_t> valid = Blob(Print("([([12], [101], [124])],)"));
  const std::vector<uint8_t> truncated(valid.begin(), valid.end() - 6);
  const struct {
    const char* Name;
    std::vector<uint8_t> Blob;
  } cases[] = {
      {"empty", {}},
      {"magic only", Blob("()", "FP3")},
      {"other magic", Blob(Print("([([12], [101], [124])],)"), "FP2")},
      {"truncated", truncated},
      {"raw print, no minutiae", Blob(Print("([([12], [101], [124])],)", 1))},
      {"members of other types", Blob("(2, 7, '0', false, byte 0x00, @ms nothing, @ms nothing, 0, "
                                      "@a{sv} {}, <([([12], [101], [124])],)>)")},
      {"pairs instead of triples", Blob(Print("([([12], [101])],)"))},
      {"no set", Blob(Print("(@a(aiaiai) [],)"))},
      {"two sets", Blob(Print("([([12], [101], [124]), ([13], [102], [125])],)"))},
      {"fewer ys than xs", Blob(Print("([([12, 13], [101], [124, 125])],)"))},
      {"fewer directions", Blob(Print("([([12, 13], [101, 102], [124])],)"))},
      {"x left of the image", Blob(Print("([([-1], [101], [124])],)"))},
      {"x right of the image", Blob(Print("([([256], [101], [124])],)"))},
      {"y below the image", Blob(Print("([([12], [0], [124])],)"))},
      {"y above the image", Blob(Print("([([12], [361], [124])],)"))},
      {"direction beyond a turn", Blob(Print("([([12], [101], [361])],)"))},
      {"direction below a turn", Blob(Print("([([12], [101], [-361])],)"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_THROW(MinutiaeFromSerializedPrint(c.Blob, kWidth, kHeight), EPrintFormat);
  }
  EXPECT_THROW(MinutiaeFromSerializedPrint(valid, 0, kHeight), EPrintFormat);
}

}  // namespace
