#include "JsonWriter.h"

#include <cstring>

#include "JsonEscapes.h"
#include "JsonNumberText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Bit pairs set for the code units of AChunk that need an escape.
int EscapeMask(__m128i AChunk) {
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i backslash = _mm_set1_epi16(u'\\');
  const __m128i controlMax = _mm_set1_epi16(31);
  // Saturating subtraction leaves zero exactly for the code units 0 to 31.
  const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(AChunk, controlMax), _mm_setzero_si128());
  return _mm_movemask_epi8(_mm_or_si128(
      control, _mm_or_si128(_mm_cmpeq_epi16(AChunk, quote), _mm_cmpeq_epi16(AChunk, backslash))));
}

// First code unit that needs an escape, eight at a time: events carry long template texts without
// any. The last few are checked the same way from a copy padded with blanks, which need none:
// short names and values are most of what is written, and one at a time they cost far more.
const char16_t* FindEscape(const char16_t* AFrom, const char16_t* AEnd) {
  const char16_t* p = AFrom;
  for (; AEnd - p >= 8; p += 8) {
    const int mask = EscapeMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
  }
  if (p == AEnd) return p;
  char16_t tail[8] = {u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' '};
  std::memcpy(tail, p, static_cast<size_t>(AEnd - p) * sizeof(char16_t));
  const int mask = EscapeMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tail)));
  return mask != 0 ? p + __builtin_ctz(static_cast<unsigned>(mask)) / 2 : AEnd;
}
#else
const char16_t* FindEscape(const char16_t* AFrom, const char16_t* AEnd) {
  const char16_t* p = AFrom;
  while (p != AEnd && !(*p < 32 || *p == u'"' || *p == u'\\')) ++p;
  return p;
}
#endif

}  // namespace

TJsonWriter::TJsonWriter(bool ACompact) : FCompact(ACompact) {
  FText.reserve(256);
}

void TJsonWriter::AppendQuoted(std::u16string_view AText) {
  static constexpr char16_t kHexDigits[] = u"0123456789abcdef";
  FText.push_back(u'"');
  const char16_t* run = AText.data();
  const char16_t* const end = run + AText.size();
  for (const char16_t* p = FindEscape(run, end); p != end; p = FindEscape(run, end)) {
    const char16_t c = *p;
    FText.append(run, static_cast<size_t>(p - run));
    run = p + 1;
    FText.push_back(u'\\');
    if (const char16_t letter = JsonEscapeLetter(c)) {
      FText.push_back(letter);
    } else if (c == u'"' || c == u'\\') {
      FText.push_back(c);
    } else {
      FText.append(u"u00");
      FText.push_back(kHexDigits[c >> 4]);
      FText.push_back(kHexDigits[c & 15]);
    }
  }
  FText.append(run, static_cast<size_t>(end - run));
  FText.push_back(u'"');
}

void TJsonWriter::AppendInteger(int64_t AValue) {
  AppendJsonInteger(FText, AValue);
}

void TJsonWriter::AppendInteger(uint64_t AValue) {
  AppendJsonInteger(FText, AValue);
}

void TJsonWriter::AppendFloat(double AValue) {
  AppendJsonFloat(FText, AValue);
}

void TJsonWriter::OpenBlock(char16_t AMark) {
  FText.push_back(AMark);
  ++FLevel;
  NewLine();
}

void TJsonWriter::EntrySeparator() {
  FText.push_back(u',');
  NewLine();
}

void TJsonWriter::NameSeparator() {
  FText.push_back(u':');
  if (!FCompact) FText.push_back(u' ');
}

void TJsonWriter::CloseBlock(char16_t AMark) {
  --FLevel;
  NewLine();
  FText.push_back(AMark);
}

void TJsonWriter::NewLine() {
  if (FCompact) return;
  FText.push_back(u'\n');
  FText.append(static_cast<size_t>(FLevel) * 2, u' ');
}
