#include "Utf8Text.h"

#include "IdTextEncoding.h"

std::string ToUtf8(std::u16string_view AText) {
  const TIdBytes bytes = IdTextEncodingUTF8().GetBytes(AText);
  return std::string(bytes.begin(), bytes.end());
}

std::u16string FromUtf8(std::string_view AText) {
  return IdTextEncodingUTF8().GetString(reinterpret_cast<const uint8_t*>(AText.data()),
                                        AText.size());
}
