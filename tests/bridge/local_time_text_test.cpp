#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "LocalTimeText.h"
#include "Utf8Text.h"

namespace {

std::string Formatted(std::time_t ATime) {
  std::tm local{};
  localtime_r(&ATime, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S: ", &local);
  return text;
}

}  // namespace

// The kept text must follow every change of second, backwards too (the clock may be set back),
// and a repeated second must give the same text.
TEST(LocalTimeText, FollowsEverySecondItIsAskedFor) {
  const std::time_t now = std::time(nullptr);
  const std::time_t halfAYearAgo = now - 183 * 24 * 3600;
  for (const std::time_t time :
       {now, now, now + 1, now, halfAYearAgo, halfAYearAgo, now + 59, now + 60, std::time_t(0)}) {
    SCOPED_TRACE(time);
    EXPECT_EQ(ToUtf8(LocalTimeText(time)), Formatted(time));
  }
}
