#include "JsonReplyWriter.h"

#include <charconv>

#include "JsonEscapes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The length of AText's leading run of ASCII that needs no escape, copied to AOut as bytes on the
// way, eight units at a time where SSE2 is available.
size_t CopyPlainAscii(std::u16string_view AText, uint8_t* AOut) {
  size_t plain = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i backslash = _mm_set1_epi16(u'\\');
  const __m128i controlMax = _mm_set1_epi16(31);
  const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; AText.size() - plain >= 8; plain += 8) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText.data() + plain));
    // Saturating subtraction leaves zero exactly for the code units 0 to 31.
    const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(chunk, controlMax), zero);
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(chunk, nonAscii), zero);
    const __m128i special = _mm_or_si128(
        control, _mm_or_si128(_mm_cmpeq_epi16(chunk, quote), _mm_cmpeq_epi16(chunk, backslash)));
    if (_mm_movemask_epi8(_mm_andnot_si128(special, ascii)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(AOut + plain), _mm_packus_epi16(chunk, zero));
  }
#endif
  for (; plain < AText.size(); ++plain) {
    const char16_t c = AText[plain];
    if (c >= 0x80 || c < 32 || c == u'"' || c == u'\\') break;
    AOut[plain] = static_cast<uint8_t>(c);
  }
  return plain;
}

}  // namespace

TJsonReplyWriter::TJsonReplyWriter(TIdBytes& AOut) : FOut(AOut) {
  FOut.push_back('{');
}

void TJsonReplyWriter::String(std::u16string_view AName, std::u16string_view AValue) {
  Name(AName);
  Quoted(AValue);
}

void TJsonReplyWriter::Int(std::u16string_view AName, int32_t AValue) {
  Name(AName);
  Integer(AValue);
}

void TJsonReplyWriter::IntArray(std::u16string_view AName, const std::vector<int32_t>& AValues) {
  Name(AName);
  FOut.push_back('[');
  for (size_t i = 0; i < AValues.size(); ++i) {
    if (i > 0) FOut.push_back(',');
    Integer(AValues[i]);
  }
  FOut.push_back(']');
}

void TJsonReplyWriter::StringArray(std::u16string_view AName,
                                   const std::vector<std::u16string>& AValues) {
  Name(AName);
  FOut.push_back('[');
  for (size_t i = 0; i < AValues.size(); ++i) {
    if (i > 0) FOut.push_back(',');
    Quoted(AValues[i]);
  }
  FOut.push_back(']');
}

void TJsonReplyWriter::Finish() {
  FOut.push_back('}');
}

void TJsonReplyWriter::Name(std::u16string_view AName) {
  if (!FFirst) FOut.push_back(',');
  FFirst = false;
  Quoted(AName);
  FOut.push_back(':');
}

// Most texts are short and plain ASCII: they are copied unit by unit into room made for them at
// at once, eight at a time. The rest goes from the first unit that needs more.
void TJsonReplyWriter::Quoted(std::u16string_view AText) {
  const size_t at = FOut.size();
  FOut.resize(at + AText.size() + 2);
  uint8_t* const out = FOut.data() + at;
  out[0] = '"';
  const size_t plain = CopyPlainAscii(AText, out + 1);
  if (plain == AText.size()) {
    out[1 + plain] = '"';
    return;
  }
  FOut.resize(at + 1 + plain);
  QuotedRest(AText.substr(plain));
  FOut.push_back('"');
}

// The escapes are ASCII, so the runs between them never split a surrogate pair and encode as the
// whole text would.
void TJsonReplyWriter::QuotedRest(std::u16string_view AText) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  size_t run = 0;
  for (size_t i = 0; i < AText.size(); ++i) {
    const char16_t c = AText[i];
    if (c >= 32 && c != u'"' && c != u'\\') continue;
    TIdUTF8Encoding::AppendUTF8(AText.substr(run, i - run), FOut);
    run = i + 1;
    FOut.push_back('\\');
    if (const char16_t letter = JsonEscapeLetter(c)) {
      FOut.push_back(static_cast<uint8_t>(letter));
    } else if (c == u'"' || c == u'\\') {
      FOut.push_back(static_cast<uint8_t>(c));
    } else {
      const uint8_t escape[] = {'u', '0', '0', static_cast<uint8_t>(kHexDigits[c >> 4]),
                                static_cast<uint8_t>(kHexDigits[c & 15])};
      FOut.insert(FOut.end(), std::begin(escape), std::end(escape));
    }
  }
  TIdUTF8Encoding::AppendUTF8(AText.substr(run), FOut);
}

void TJsonReplyWriter::Integer(int32_t AValue) {
  char buffer[12];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  FOut.insert(FOut.end(), buffer, result.ptr);
}
