#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SensorControlProtocol.h"

namespace {

TEST(SensorControlProtocolTest, ParsesWellFormedCommands) {
  const std::vector<std::pair<std::string, TSensorCommand>> cases = {
      {"touch 3", TTouchCommand{3, 80, false}},
      {"touch 3 72", TTouchCommand{3, 72, false}},
      {"touch 3 72 suspicious", TTouchCommand{3, 72, true}},
      {"touch 3 suspicious", TTouchCommand{3, 80, true}},
      {"  touch\t5   0  \r", TTouchCommand{5, 0, false}},
      {"touch 2147483647 100", TTouchCommand{2147483647, 100, false}},
      {"touch 007 049", TTouchCommand{7, 49, false}},
      {"unplug", TPlugCommand{false}},
      {"plug\r", TPlugCommand{true}},
      {"status", TStatusCommand{}},
      {" help ", THelpCommand{}},
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(ParseSensorCommand(line), expected) << line;
  }
}

TEST(SensorControlProtocolTest, RejectsMalformedLines) {
  const std::vector<std::string> cases = {
      "",
      "   \t ",
      "\r",
      "touch",
      "touch 0",
      "touch -1",
      "touch +3",
      "touch 3x",
      "touch 3.0",
      "touch 2147483648",
      "touch 99999999999999999999999",
      "touch 3 101",
      "touch 3 -5",
      "touch 3 72 suspicious extra",
      "touch 3 suspicious 72",
      "touch 3 72 Suspicious",
      "TOUCH 3",
      "status now",
      "plug in",
      "fly",
      std::string("touch \0 3", 9),
      "\x01\xff\xfe",
  };
  for (const auto& line : cases) {
    const TSensorCommand parsed = ParseSensorCommand(line);
    ASSERT_TRUE(std::holds_alternative<TMalformedCommand>(parsed)) << line;
    EXPECT_FALSE(std::get<TMalformedCommand>(parsed).Reason.empty()) << line;
  }
}

TEST(SensorControlProtocolTest, AnswersStartWithOkOrError) {
  const TTouchResult good{TTouchOutcome::Captured, 72, kQualityClassGood, 0};
  EXPECT_EQ(TouchAnswer(good), "ok captured quality=72 class=good");
  EXPECT_EQ(TouchAnswer({TTouchOutcome::EnrollPressCounted, 80, kQualityClassGood, 2}),
            "ok enroll press counted quality=80 class=good due=2");
  EXPECT_EQ(TouchAnswer({TTouchOutcome::EnrollPressNotCounted, 30, kQualityClassPoor, 3}),
            "ok enroll press not counted quality=30 class=poor due=3");
  EXPECT_TRUE(TouchAnswer({TTouchOutcome::EnrollFinished, 90, kQualityClassGood, 0})
                  .starts_with("ok enroll finished"));
  EXPECT_TRUE(TouchAnswer({TTouchOutcome::EnrollFailed, 90, kQualityClassSuspicious, 0})
                  .starts_with("ok enroll failed"));
  EXPECT_EQ(TouchAnswer({TTouchOutcome::IgnoredEngineOff, 80, 0, 0}),
            "error engine not initialised");
  EXPECT_EQ(TouchAnswer({TTouchOutcome::IgnoredReaderInUse, 80, 0, 0}),
            "error the simulated sensor is not in use: Tessiva drives a fingerprint reader (for "
            "libfprint's virtual one, use tessiva-sensor press FILE or press-synthetic FINGER)");
  EXPECT_EQ(TouchAnswer({TTouchOutcome::IgnoredUnplugged, 80, 0, 0}), "error sensor unplugged");
  EXPECT_TRUE(TouchAnswer({TTouchOutcome::Superseded, 80, 0, 0}).starts_with("error "));

  EXPECT_EQ(StatusAnswer({true, true, true, 2, false}),
            "ok plugged=yes engine=on enrolling=yes due=2 capturing=no");
  EXPECT_EQ(StatusAnswer({false, false, false, 0, false}),
            "ok plugged=no engine=off enrolling=no due=0 capturing=no");
  EXPECT_TRUE(HelpAnswer().starts_with("ok "));
}

}  // namespace
