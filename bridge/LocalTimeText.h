#pragma once

#include <ctime>
#include <string>

// ATime as the log shows it, in local time: "YYYY-MM-DD HH:MM:SS: ". Every log line asks for it,
// and a second holds many lines: the text is kept per thread and formatted again only when the
// second changes.
const std::u16string& LocalTimeText(std::time_t ATime);
