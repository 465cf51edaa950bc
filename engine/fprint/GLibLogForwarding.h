#pragma once

#include <glib.h>

#include <functional>
#include <string>
#include <string_view>

// One readable line for a message GLib logs for libfprint or a library under it, such as
// "libfprint-image_device warning: Failed to detect minutiae: No minutiae found": its domain,
// its level and its text with line breaks and runs of blanks made single spaces.
std::string GLibLogLine(GLogLevelFlags ALevel, std::string_view ADomain, std::string_view AText);

// While one exists, GLib's messages, warnings and criticals reach ASink (from any thread, under a
// lock: ASink must not log through GLib) as GLibLogLine instead of standard error; debug and info
// output stays GLib's own. With several at once, each sink gets every line.
class TGLibLogForwarding {
 public:
  explicit TGLibLogForwarding(std::function<void(const std::string&)> ASink);
  ~TGLibLogForwarding();
  TGLibLogForwarding(const TGLibLogForwarding&) = delete;
  TGLibLogForwarding& operator=(const TGLibLogForwarding&) = delete;
};
