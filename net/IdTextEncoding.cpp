#include "IdTextEncoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(char32_t ACodePoint, TIdBytes& AOut) {
  if (ACodePoint < 0x80) {
    AOut.push_back(static_cast<uint8_t>(ACodePoint));
  } else if (ACodePoint < 0x800) {
    AOut.push_back(static_cast<uint8_t>(0xC0 | (ACodePoint >> 6)));
    AOut.push_back(static_cast<uint8_t>(0x80 | (ACodePoint & 0x3F)));
  } else if (ACodePoint < 0x10000) {
    AOut.push_back(static_cast<uint8_t>(0xE0 | (ACodePoint >> 12)));
    AOut.push_back(static_cast<uint8_t>(0x80 | ((ACodePoint >> 6) & 0x3F)));
    AOut.push_back(static_cast<uint8_t>(0x80 | (ACodePoint & 0x3F)));
  } else {
    AOut.push_back(static_cast<uint8_t>(0xF0 | (ACodePoint >> 18)));
    AOut.push_back(static_cast<uint8_t>(0x80 | ((ACodePoint >> 12) & 0x3F)));
    AOut.push_back(static_cast<uint8_t>(0x80 | ((ACodePoint >> 6) & 0x3F)));
    AOut.push_back(static_cast<uint8_t>(0x80 | (ACodePoint & 0x3F)));
  }
}

void AppendUTF16(char32_t ACodePoint, std::u16string& AOut) {
  if (ACodePoint < 0x10000) {
    AOut.push_back(static_cast<char16_t>(ACodePoint));
  } else {
    ACodePoint -= 0x10000;
    AOut.push_back(static_cast<char16_t>(0xD800 + (ACodePoint >> 10)));
    AOut.push_back(static_cast<char16_t>(0xDC00 + (ACodePoint & 0x3FF)));
  }
}

bool IsContinuation(uint8_t AByte) {
  return (AByte & 0xC0) == 0x80;
}

// Narrows the leading ASCII run of AText into AOut, eight code units at a time where SSE2 is
// available; returns its length. Commands, replies and log lines are ASCII nearly always.
size_t AppendAsciiRun(std::u16string_view AText, TIdBytes& AOut) {
  const size_t at = AOut.size();
  AOut.resize(at + AText.size());
  const char16_t* const in = AText.data();
  uint8_t* const out = AOut.data() + at;
  size_t ascii = 0;
#if defined(__SSE2__)
  // A chunk with any unit above 0x7F ends the run.
  const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; AText.size() - ascii >= 8; ascii += 8) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + ascii));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(chunk, nonAscii), zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + ascii), _mm_packus_epi16(chunk, zero));
  }
#endif
  for (; ascii < AText.size() && in[ascii] < 0x80; ++ascii) out[ascii] = uint8_t(in[ascii]);
  AOut.resize(at + ascii);
  return ascii;
}

}  // namespace

void TIdUTF8Encoding::AppendUTF8(std::u16string_view AText, TIdBytes& AOut) {
  const size_t n = AText.size();
  for (size_t i = AppendAsciiRun(AText, AOut); i < n; ++i) {
    const char16_t unit = AText[i];
    if (unit < 0x80) {
      AOut.push_back(static_cast<uint8_t>(unit));
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && AText[i + 1] >= 0xDC00 &&
               AText[i + 1] <= 0xDFFF) {
      AppendCodePoint(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (AText[i + 1] - 0xDC00), AOut);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendCodePoint(kReplacement, AOut);
    } else {
      AppendCodePoint(unit, AOut);
    }
  }
}

TIdBytes TIdUTF8Encoding::GetBytes(std::u16string_view AText) const {
  TIdBytes bytes;
  AppendUTF8(AText, bytes);
  return bytes;
}

std::u16string TIdUTF8Encoding::GetString(const uint8_t* ABytes, size_t ALength) const {
  // The leading ASCII run widens in one pass.
  size_t i = 0;
  while (i < ALength && ABytes[i] < 0x80) ++i;
  std::u16string text(ABytes, ABytes + i);
  if (i == ALength) return text;
  text.reserve(ALength);
  while (i < ALength) {
    const uint8_t lead = ABytes[i];
    if (lead < 0x80) {
      text.push_back(lead);
      ++i;
      continue;
    }
    // Length and the allowed range of the second byte, which rules out overlong forms,
    // surrogates and values above U+10FFFF.
    size_t need;
    uint8_t lo = 0x80, hi = 0xBF;
    char32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      cp = lead & 0x0F;
      if (lead == 0xE0) lo = 0xA0;
      if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      cp = lead & 0x07;
      if (lead == 0xF0) lo = 0x90;
      if (lead == 0xF4) hi = 0x8F;
    } else {
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    bool valid = true;
    for (; j <= need; ++j) {
      if (i + j >= ALength) {
        valid = false;
        break;
      }
      const uint8_t b = ABytes[i + j];
      const bool inRange = j == 1 ? (b >= lo && b <= hi) : IsContinuation(b);
      if (!inRange) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!valid) {
      // The maximal valid prefix becomes one replacement character.
      text.push_back(kReplacement);
      i += j;
      continue;
    }
    AppendUTF16(cp, text);
    i += need + 1;
  }
  return text;
}

TIdBytes TIdASCIIEncoding::GetBytes(std::u16string_view AText) const {
  TIdBytes bytes(AText.size());
  for (size_t i = 0; i < AText.size(); ++i)
    bytes[i] = AText[i] < 0x80 ? static_cast<uint8_t>(AText[i]) : uint8_t('?');
  return bytes;
}

std::u16string TIdASCIIEncoding::GetString(const uint8_t* ABytes, size_t ALength) const {
  std::u16string text(ALength, u'\0');
  for (size_t i = 0; i < ALength; ++i) text[i] = ABytes[i] < 0x80 ? ABytes[i] : kReplacement;
  return text;
}

const IIdTextEncoding& IdTextEncodingUTF8() {
  static const TIdUTF8Encoding instance;
  return instance;
}

const IIdTextEncoding& IdTextEncodingASCII() {
  static const TIdASCIIEncoding instance;
  return instance;
}

const IIdTextEncoding& IdTextEncodingDefault() {
  return IdTextEncodingASCII();
}
