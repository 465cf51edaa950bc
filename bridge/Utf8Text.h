#pragma once

#include <string>
#include <string_view>

// UTF-16 text inside the bridge, UTF-8 on the wire and in exception texts. Neither direction
// fails: malformed input becomes replacement characters.
std::string ToUtf8(std::u16string_view AText);
std::u16string FromUtf8(std::string_view AText);
