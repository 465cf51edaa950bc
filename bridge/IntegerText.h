#pragma once

#include <cstdint>
#include <string>

// The decimal text of an integer, as log lines and messages show counts, ids and scores.
std::u16string IntToStr(int64_t AValue);
