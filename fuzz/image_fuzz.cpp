// Image files pressed on the sensor come from anywhere: PGM and PNG decoding must reject any
// malformed input with EImageFile, never crash or read out of bounds.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ImageFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  for (auto decode : {DecodePgm, DecodePng}) {
    try {
      const TGreyImage image = decode(bytes);
      if (image.Pixels.size() != static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height)) __builtin_trap();
    } catch (const EImageFile&) {
    }
  }
  return 0;
}
