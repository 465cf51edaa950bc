// The quality the engine gives the images real USB readers delivered, rated as any press is:
// pressed on the virtual reader, so that libfprint finds the minutiae the rating counts.
#include <gmock/gmock.h>

#include <string>

#include "ImageFile.h"
#include "ReaderFixture.h"

namespace {

struct TCaptureCase {
  const char* Reader;
  std::vector<int32_t> Classes;  // any of these
};

void PrintTo(const TCaptureCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Reader;
}

class ReaderCaptureQualityTest : public ReaderEngineTest,
                                 public ::testing::WithParamInterface<TCaptureCase> {};

TEST_P(ReaderCaptureQualityTest, RatesWhatTheReaderSaw) {
  const TCaptureCase& c = GetParam();
  Init();
  const TGreyImage image =
      ReadImageFile(std::string(TESSIVA_READER_CAPTURES) + "/" + c.Reader + "/capture.png");
  const auto events = Press(image);
  ASSERT_FALSE(events.empty());
  EXPECT_THAT(c.Classes, ::testing::Contains(events[0].QualityClass))
      << "quality " << events[0].LastQuality;
}

INSTANTIATE_TEST_SUITE_P(
    Readers, ReaderCaptureQualityTest,
    ::testing::Values(
        // Clear prints, faint, partial or enlarged: good.
        TCaptureCase{"aes3500", {0}}, TCaptureCase{"egis0570", {0}}, TCaptureCase{"nb1010", {0}},
        // A faint swipe strip with a dozen minutiae, only a few inside its clear part: usable.
        TCaptureCase{"upektc_img", {0, -1}},
        // Creases over blotches, and noise: nothing to match.
        TCaptureCase{"vfs301", {1}}, TCaptureCase{"vfs7552", {1}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Reader); });

}  // namespace
