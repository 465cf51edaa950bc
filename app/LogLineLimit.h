#pragma once

#include <string>
#include <string_view>

// The longest log line the window keeps whole, in UTF-16 code units. One message can be a MiB
// (a command's state is echoed into the log); the window would spend hundreds of MB showing a few
// of them, and nobody reads such a line on screen anyway.
constexpr size_t kLogLineShownUnits = 4096;

// ALine as the window keeps it, in UTF-8: unchanged up to the limit, otherwise its beginning
// (never half a surrogate pair) followed by "... (N bytes)", N being the whole line's length in
// UTF-8. Runs for every line on the main thread, so it converts with Qt's fast codec.
std::string ShownLogLine(std::u16string_view ALine);
