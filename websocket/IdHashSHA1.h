#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "IdTextEncoding.h"

// SHA-1 (FIPS 180-4). The hasher keeps no state between calls: every call runs its own
// computation, so one instance serves any number of threads at once.
class TIdHashSHA1 {
 public:
  using TDigest = std::array<uint8_t, 20>;

  TDigest HashBytes(const uint8_t* AData, size_t ALength) const;
  TDigest HashBytes(const TIdBytes& AData) const { return HashBytes(AData.data(), AData.size()); }
  // Hashes the text's bytes in AEncoding; without one, the process default (7-bit ASCII, so every
  // character above U+007F is hashed as '?').
  TDigest HashString(std::u16string_view AText, const IIdTextEncoding* AEncoding = nullptr) const;
};
