// What the accuracy bench measures on: the presses it reads from a folder and the order of each
// probe's identification gallery.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "IdentificationGallery.h"
#include "ImageFile.h"
#include "ImpressionFolder.h"

namespace {

// A folder of presses, each a small image whose width tells finger and impression apart.
class TPressFolder {
 public:
  void AddPress(const std::string& AName, int AWidth) {
    WriteImageFile(
        FFolder.File(AName),
        TGreyImage{AWidth, 2, std::vector<uint8_t>(static_cast<size_t>(AWidth) * 2, 200)});
  }
  void AddText(const std::string& AName) { std::ofstream(FFolder.File(AName)) << "not a press\n"; }
  std::string Path() const {
    return std::filesystem::path(FFolder.File("")).parent_path().string();
  }

 private:
  TTempDir FFolder;
};

struct TFolderCase {
  const char* Name;
  std::vector<std::pair<int, int>> Presses;  // finger, impression
  std::vector<std::string> Others;           // files that are not presses
  int Fingers;                               // 0: the folder is refused
  int Impressions;
};

class ImpressionFolderTest : public ::testing::TestWithParam<TFolderCase> {};

TEST_P(ImpressionFolderTest, ReadsEveryFingerWithTheImpressionsAllHave) {
  const TFolderCase& example = GetParam();
  TPressFolder folder;
  for (const auto& [finger, impression] : example.Presses) {
    folder.AddPress(std::to_string(finger) + "_" + std::to_string(impression) + ".pgm",
                    10 * finger + impression);
  }
  for (const std::string& other : example.Others) folder.AddText(other);
  if (example.Fingers == 0) {
    EXPECT_THROW(ReadImpressionFolder(folder.Path()), std::runtime_error);
    return;
  }
  ASSERT_TRUE(HoldsImpressions(folder.Path()));
  const TImpressionSet set = ReadImpressionFolder(folder.Path());
  ASSERT_EQ(set.Fingers(), example.Fingers);
  ASSERT_EQ(set.Impressions(), example.Impressions);
  for (int finger = 0; finger < set.Fingers(); ++finger) {
    EXPECT_EQ(set.FingerNumber(finger), static_cast<uint32_t>(finger + 1));
    for (int impression = 0; impression < set.Impressions(); ++impression) {
      EXPECT_EQ(set.Image(finger, impression).Width, 10 * (finger + 1) + impression + 1)
          << "finger " << finger + 1 << " impression " << impression + 1;
    }
  }
}

const TFolderCase kFolderCases[] = {
    {"TwoFullFingers", {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}, {}, 2, 3},
    // Numbers sort as numbers: finger 10 after 9, not after 1.
    {"TenFingers",
     {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}, {10, 1},
      {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 2}, {9, 2}, {10, 2}},
     {},
     10,
     2},
    {"ImpressionsAllFingersHave", {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}}, {}, 2, 2},
    {"GapInImpressionsEndsThem",
     {{1, 1}, {1, 2}, {1, 4}, {2, 1}, {2, 2}, {2, 3}, {2, 4}},
     {},
     2,
     2},
    {"OtherFilesIgnored",
     {{1, 1}, {1, 2}},
     {"README.md", "1_1_mask.pgm", "x_1.pgm", "1_1x.pgm"},
     1,
     2},
    {"MissingFingerRefused", {{1, 1}, {3, 1}}, {}, 0, 0},
    {"NoPressesRefused", {}, {"README.md"}, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Folders, ImpressionFolderTest, ::testing::ValuesIn(kFolderCases),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(IdentificationGalleryTest, HoldsTheOwnFingerAndTheNextOnesInACircle) {
  struct TCase {
    int Finger, Fingers, Size;
    std::set<int> Members;
  };
  const TCase cases[] = {
      {0, 10, 3, {0, 1, 2}},
      {8, 10, 4, {8, 9, 0, 1}},
      {3, 5, 36, {0, 1, 2, 3, 4}},  // a small set: every finger once
      {2, 3, 1, {2}},
  };
  for (const TCase& example : cases) {
    const std::vector<int> gallery =
        IdentificationGallery(example.Finger, 4, example.Fingers, example.Size, 1);
    EXPECT_EQ(gallery.size(), example.Members.size()) << "finger " << example.Finger;
    EXPECT_EQ(std::set<int>(gallery.begin(), gallery.end()), example.Members)
        << "finger " << example.Finger;
  }
}

TEST(IdentificationGalleryTest, OrderIsTheSameForTheSameProbeAndSeed) {
  EXPECT_EQ(IdentificationGallery(5, 6, 100, 36, 7), IdentificationGallery(5, 6, 100, 36, 7));
  EXPECT_NE(IdentificationGallery(5, 6, 100, 36, 7), IdentificationGallery(5, 6, 100, 36, 8));
  EXPECT_NE(IdentificationGallery(5, 6, 100, 36, 7), IdentificationGallery(5, 7, 100, 36, 7));
}

// A first-match rule must not be helped or hurt by where the own finger sits: over many probes it
// sits anywhere, first and last included.
TEST(IdentificationGalleryTest, OwnFingerSitsAnywhere) {
  std::set<long> positions;
  for (int finger = 0; finger < 100; ++finger) {
    for (int probe = 3; probe < 8; ++probe) {
      const std::vector<int> gallery = IdentificationGallery(finger, probe, 100, 36, 1);
      positions.insert(std::find(gallery.begin(), gallery.end(), finger) - gallery.begin());
    }
  }
  EXPECT_EQ(positions.size(), 36u);
}

}  // namespace
