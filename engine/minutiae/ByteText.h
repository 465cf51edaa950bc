#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// CRC-32 (IEEE 802.3, reflected, as in zip and PNG) of ABytes.
uint32_t Crc32(std::span<const uint8_t> ABytes);

// Lowercase hexadecimal, two digits per byte.
std::u16string BytesToHex(std::span<const uint8_t> ABytes);

// The bytes of a lowercase hexadecimal text; nothing for odd length or any other character.
std::optional<std::vector<uint8_t>> HexToBytes(std::u16string_view AText);
