#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "MatchTestSupport.h"

namespace {

const std::string kUsageStart = "usage: tessiva-match PROBE TEMPLATE";

std::string WithLastDigitChanged(std::string AText) {
  AText.back() = AText.back() == '0' ? '1' : '0';
  return AText;
}

class MatchCommandTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  const TSyntheticFingers Fingers{4};
};

TEST_F(MatchCommandTest, BadUsageAndInputNameTheInputAndTheReason) {
  const std::string probe = Fingers.Probes[0], enrolled = Fingers.Enrolled[0];
  const std::string gallery = Dir.File("gallery.txt");
  WriteText(gallery, enrolled + "\n" + WithLastDigitChanged(enrolled) + "\n");
  const std::string missing = Dir.File("missing.txt");
  const std::string unwritable = Dir.File("no-such-folder/alice.fmr");
  const std::string folder = Dir.File("folder");
  std::filesystem::create_directory(folder);
  const struct {
    std::vector<std::string> Args;
    std::string Err;  // the whole of standard error; "usage" for the usage text
  } cases[] = {
      {{}, "usage"},
      {{probe}, "usage"},
      {{"--gallery", gallery}, "usage"},
      {{probe, "--gallery"}, "usage"},
      {{"--iso", enrolled}, "usage"},
      {{"--bogus", enrolled}, "usage"},
      {{probe, enrolled, enrolled}, "usage"},
      {{"hello", enrolled}, "tessiva-match: probe: not a fingerprint reader template\n"},
      {{"NQ9:01102030", enrolled}, "tessiva-match: probe: not a fingerprint reader template\n"},
      {{probe, WithLastDigitChanged(enrolled)},
       "tessiva-match: template: damaged template: checksum mismatch\n"},
      {{probe, "TSF10S:" + enrolled.substr(8, 11)},
       "tessiva-match: template: damaged template: not lowercase hexadecimal\n"},
      {{probe, "--gallery", missing},
       "tessiva-match: cannot open " + missing + ": No such file or directory\n"},
      {{probe, "--gallery", folder}, "tessiva-match: cannot read " + folder + ": Is a directory\n"},
      {{probe, "--gallery", gallery},
       "tessiva-match: " + gallery + ":2: damaged template: checksum mismatch\n"},
      {{"--iso", "TSF10:", Dir.File("a.fmr")},
       "tessiva-match: template: damaged template: wrong length\n"},
      {{"--iso", enrolled, unwritable},
       "tessiva-match: cannot write " + unwritable + ": No such file or directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Err);
    const TRun run = RunMatch(c.Args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, "");
    if (c.Err == "usage")
      EXPECT_TRUE(run.Err.starts_with(kUsageStart)) << run.Err;
    else
      EXPECT_EQ(run.Err, c.Err);
  }
}

TEST_F(MatchCommandTest, HelpAndVersionGoToStandardOutput) {
  const TRun help = RunMatch({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_TRUE(help.Out.starts_with(kUsageStart)) << help.Out;
  EXPECT_EQ(help.Err, "");
  const TRun version = RunMatch({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "tessiva-match " TESSIVA_VERSION "\n");
}

TEST_F(MatchCommandTest, OneToOneSaysWhetherTheScoreReachesTheThreshold) {
  const TRun same = RunMatch({Fingers.Probes[1], Fingers.Enrolled[1]});
  EXPECT_EQ(same.Status, 0) << same.Err;
  EXPECT_TRUE(
      std::regex_match(same.Out, std::regex(R"(\{"match":true,"score":\d+,"threshold":10\}\n)")))
      << same.Out;
  const TRun other = RunMatch({Fingers.Probes[1], Fingers.Enrolled[2]});
  EXPECT_EQ(other.Status, 1) << other.Err;
  EXPECT_TRUE(
      std::regex_match(other.Out, std::regex(R"(\{"match":false,"score":\d,"threshold":10\}\n)")))
      << other.Out;
}

// Ids, blank lines, blanks around the fields and CR LF line ends; the line counts every line.
TEST_F(MatchCommandTest, GalleryLinesMayCarryAnIdAndTiesGoToTheEarliestLine) {
  const std::string gallery = Dir.File("gallery.txt");
  WriteText(gallery, "\n  alice " + Fingers.Enrolled[0] + "\r\n\n" + Fingers.Enrolled[2] +
                         "\nbob\t" + Fingers.Enrolled[1] + "\r\ncarol " + Fingers.Enrolled[1] +
                         "\n");
  const TRun bob = RunMatch({Fingers.Probes[1], "--gallery", gallery});
  EXPECT_EQ(bob.Status, 0) << bob.Err;
  EXPECT_TRUE(std::regex_match(
      bob.Out,
      std::regex(
          R"(\{"match":true,"line":5,"id":"bob","score":\d+,"threshold":10,"compared":4\}\n)")))
      << bob.Out;
  const TRun withoutId = RunMatch({Fingers.Probes[2], "--gallery", gallery});
  EXPECT_EQ(withoutId.Status, 0) << withoutId.Err;
  EXPECT_NE(withoutId.Out.find(R"("line":4,"score":)"), std::string::npos) << withoutId.Out;
}

TEST_F(MatchCommandTest, AProbeOfNoGalleryFingerMatchesNothing) {
  const std::string gallery = Dir.File("gallery.txt");
  WriteText(gallery, Fingers.Enrolled[0] + "\n" + Fingers.Enrolled[1] + "\n");
  const TRun stranger = RunMatch({Fingers.Probes[3], "--gallery", gallery});
  EXPECT_EQ(stranger.Status, 1) << stranger.Err;
  EXPECT_TRUE(std::regex_match(
      stranger.Out,
      std::regex(R"(\{"match":false,"line":-1,"score":\d,"threshold":10,"compared":2\}\n)")))
      << stranger.Out;
  const std::string empty = Dir.File("empty.txt");
  WriteText(empty, "\n \n");
  const TRun none = RunMatch({Fingers.Probes[3], "--gallery", empty});
  EXPECT_EQ(none.Status, 1);
  EXPECT_EQ(none.Out, R"({"match":false,"line":-1,"score":0,"threshold":10,"compared":0})"
                      "\n");
}

}  // namespace
