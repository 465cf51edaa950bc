#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Base64 (RFC 4648): the standard alphabet, '=' padding, no line breaks.
std::string Base64Encode(const uint8_t* AData, size_t ALength);
