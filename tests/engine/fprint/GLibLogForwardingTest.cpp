#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GLibLogForwarding.h"

namespace {

TEST(GLibLogLine, DomainLevelAndTextOnOneLine) {
  const struct {
    GLogLevelFlags Level;
    const char* Domain;
    const char* Text;
    std::string Line;
  } cases[] = {
      {G_LOG_LEVEL_WARNING, "libfprint-image_device",
       "Failed to detect minutiae: No minutiae found",
       "libfprint-image_device warning: Failed to detect minutiae: No minutiae found"},
      {GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL), "GLib-GObject",
       "g_object_unref: assertion 'G_IS_OBJECT (object)' failed",
       "GLib-GObject critical: g_object_unref: assertion 'G_IS_OBJECT (object)' failed"},
      {G_LOG_LEVEL_MESSAGE, "", "plain", "message: plain"},
      {G_LOG_LEVEL_WARNING, "libfprint-device", "first line\n  second\tline\r\n",
       "libfprint-device warning: first line second line"},
      {G_LOG_LEVEL_WARNING, "libfprint", "", "libfprint warning:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(GLibLogLine(c.Level, c.Domain, c.Text), c.Line);
  }
}

// What libfprint logs with g_warning reaches the sinks while forwarding lasts; debug output
// never does, and after the end nothing does.
TEST(GLibLogForwarding, WarningsReachTheSinksAsOneLineWhileTheyLast) {
  std::vector<std::string> lines, second;
  {
    TGLibLogForwarding forwarding([&](const std::string& ALine) { lines.push_back(ALine); });
    {
      TGLibLogForwarding other([&](const std::string& ALine) { second.push_back(ALine); });
      g_log("libfprint-test", G_LOG_LEVEL_CRITICAL, "to both");
    }
    g_log("libfprint-image_device", G_LOG_LEVEL_WARNING, "Failed to detect minutiae: %s",
          "No minutiae found");
    g_log("libfprint-test", G_LOG_LEVEL_DEBUG, "not forwarded");
    g_log("libfprint-test", G_LOG_LEVEL_MESSAGE, "two\nlines");
  }
  g_log("libfprint-test", G_LOG_LEVEL_MESSAGE, "after the end, on standard error");
  EXPECT_EQ(second, std::vector<std::string>{"libfprint-test critical: to both"});
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "libfprint-test critical: to both",
                "libfprint-image_device warning: Failed to detect minutiae: No minutiae found",
                "libfprint-test message: two lines"}));

  TGLibLogForwarding again([&](const std::string& ALine) { lines.push_back(ALine); });
  g_log("libfprint-test", G_LOG_LEVEL_WARNING, "again");
  EXPECT_EQ(lines.back(), "libfprint-test warning: again");
}

}  // namespace
