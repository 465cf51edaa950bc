#include "JsonTokenizer.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <limits>

#include "JsonEscapes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "JsonExceptions.h"

namespace {

bool IsDigit(char16_t AChar) {
  return AChar >= u'0' && AChar <= u'9';
}

bool IsLetter(char16_t AChar) {
  return static_cast<unsigned>((AChar | 0x20) - u'a') < 26u;
}

bool IsIdentifierStart(char16_t AChar) {
  return IsLetter(AChar) || AChar == u'_' || AChar == u'$';
}

bool IsIdentifierPart(char16_t AChar) {
  return IsLetter(AChar) || IsDigit(AChar) || AChar == u'_';
}

// First code unit that ends a plain run inside a string: '"', '\\', CR or LF. Long strings
// (templates, messages) dominate parsing time, so eight code units are tested at a time.
const char16_t* FindStringSpecial(const char16_t* AFrom, const char16_t* AEnd) {
  const char16_t* p = AFrom;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i backslash = _mm_set1_epi16(u'\\');
  const __m128i carriageReturn = _mm_set1_epi16(u'\r');
  const __m128i lineFeed = _mm_set1_epi16(u'\n');
  for (; AEnd - p >= 8; p += 8) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(chunk, quote), _mm_cmpeq_epi16(chunk, backslash)),
        _mm_or_si128(_mm_cmpeq_epi16(chunk, carriageReturn), _mm_cmpeq_epi16(chunk, lineFeed)));
    const int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
  }
#endif
  for (; p != AEnd; ++p) {
    const char16_t c = *p;
    if (c <= u'\\' && (c == u'"' || c == u'\\' || c == u'\r' || c == u'\n')) return p;
  }
  return AEnd;
}

int HexValue(char16_t AChar) {
  if (IsDigit(AChar)) return AChar - u'0';
  const unsigned lower = static_cast<unsigned>((AChar | 0x20) - u'a');
  return lower < 6u ? static_cast<int>(lower) + 10 : -1;
}

std::string Utf8OfCodeUnit(char16_t AChar) {
  // A lone surrogate has no UTF-8 form; it shows as U+FFFD.
  const unsigned code = (AChar >= 0xD800 && AChar <= 0xDFFF) ? 0xFFFD : AChar;
  std::string text;
  if (code < 0x80) {
    text.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    text.push_back(static_cast<char>(0xC0 | (code >> 6)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    text.push_back(static_cast<char>(0xE0 | (code >> 12)));
    text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  return text;
}

// A number whose magnitude is beyond double: the largest double for overflow, zero for
// underflow, so that every parsed float is finite and writes back as a number.
double OutOfRangeFloat(std::string_view AText) {
  const bool negative = AText.front() == '-';
  size_t i = negative ? 1 : 0;
  // Decimal exponent of the first significant digit.
  long long magnitude = 0;
  bool significant = false;
  for (; i < AText.size() && AText[i] >= '0' && AText[i] <= '9'; ++i) {
    if (significant) {
      ++magnitude;
    } else if (AText[i] != '0') {
      significant = true;
    }
  }
  if (i < AText.size() && AText[i] == '.') {
    for (++i; i < AText.size() && AText[i] >= '0' && AText[i] <= '9'; ++i) {
      if (!significant) {
        --magnitude;
        if (AText[i] != '0') significant = true;
      }
    }
  }
  if (i < AText.size() && (AText[i] == 'e' || AText[i] == 'E')) {
    ++i;
    const bool negativeExponent = i < AText.size() && AText[i] == '-';
    if (i < AText.size() && (AText[i] == '-' || AText[i] == '+')) ++i;
    long long exponent = 0;
    for (; i < AText.size(); ++i) exponent = std::min(exponent * 10 + (AText[i] - '0'), 1LL << 40);
    magnitude += negativeExponent ? -exponent : exponent;
  }
  const double value = magnitude > 0 ? DBL_MAX : 0.0;
  return negative ? -value : value;
}

double ParseFloat(const char16_t* AFirst, const char16_t* ALast) {
  // The number's characters are ASCII; from_chars needs them as char.
  const size_t length = static_cast<size_t>(ALast - AFirst);
  char shortText[64];
  std::string longText;
  char* text = shortText;
  if (length > sizeof shortText) {
    longText.resize(length);
    text = longText.data();
  }
  std::transform(AFirst, ALast, text, [](char16_t c) { return static_cast<char>(c); });
  double value = 0;
  if (std::from_chars(text, text + length, value).ec == std::errc::result_out_of_range) {
    value = OutOfRangeFloat(std::string_view(text, length));
  }
  return value;
}

}  // namespace

const char* JsonTokenName(TJsonToken AToken) {
  switch (AToken) {
    case jtEof:
      return "end of file";
    case jtInvalid:
      return "invalid symbol";
    case jtBeginObject:
      return "\"{\"";
    case jtEndObject:
      return "\"}\"";
    case jtBeginArray:
      return "\"[\"";
    case jtEndArray:
      return "\"]\"";
    case jtComma:
      return "\",\"";
    case jtColon:
      return "\":\"";
    case jtIdentifier:
      return "identifier";
    case jtString:
    case jtInt:
    case jtLong:
    case jtULong:
    case jtFloat:
    case jtTrue:
    case jtFalse:
    case jtNull:
      return "value";
  }
  return "invalid symbol";
}

TJsonTokenizer::TJsonTokenizer(std::u16string_view AText)
    : FText(AText.data()), FEnd(AText.data() + AText.size()), FPos(FText), FTokenStart(FText) {}

void TJsonTokenizer::FailAt(const char16_t* AAt, const std::string& AMessage) const {
  int line = 1;
  const char16_t* lineStart = FText;
  for (const char16_t* p = FText; p != AAt; ++p) {
    if (*p == u'\n') {
      ++line;
      lineStart = p + 1;
    }
  }
  const auto column = static_cast<int>(AAt - lineStart) + 1;
  throw EJsonParserException(AMessage, line, column, static_cast<int>(AAt - FText));
}

void TJsonTokenizer::Next() {
  while (FPos != FEnd && *FPos <= u' ') ++FPos;
  FTokenStart = FPos;
  if (FPos == FEnd) {
    FToken = jtEof;
    return;
  }
  const char16_t c = *FPos;
  switch (c) {
    case u'{':
      FToken = jtBeginObject;
      break;
    case u'}':
      FToken = jtEndObject;
      break;
    case u'[':
      FToken = jtBeginArray;
      break;
    case u']':
      FToken = jtEndArray;
      break;
    case u',':
      FToken = jtComma;
      break;
    case u':':
      FToken = jtColon;
      break;
    case u'"':
      ScanString();
      return;
    default:
      if (IsDigit(c) || (c == u'-' && FPos + 1 != FEnd && IsDigit(FPos[1]))) {
        ScanNumber();
        return;
      }
      if (IsIdentifierStart(c)) {
        ScanIdentifier();
        return;
      }
      FToken = jtInvalid;
      break;
  }
  ++FPos;
}

void TJsonTokenizer::ScanString() {
  const char16_t* const first = FPos + 1;
  const char16_t* const special = FindStringSpecial(first, FEnd);
  if (special != FEnd && *special == u'"') {
    FStringValue = std::u16string_view(first, static_cast<size_t>(special - first));
    FPos = special + 1;
    FToken = jtString;
    return;
  }
  FUnescaped.assign(first, static_cast<size_t>(special - first));
  ScanEscapedString(special);
}

void TJsonTokenizer::ScanEscapedString(const char16_t* AFrom) {
  const char16_t* p = AFrom;
  for (;;) {
    if (p == FEnd) Fail("String not closed");
    const char16_t c = *p;
    if (c == u'"') break;
    if (c == u'\r' || c == u'\n') FailAt(p, "Invalid character in string");
    // A backslash: the escaped character follows.
    if (++p == FEnd) Fail("String not closed");
    const char16_t escaped = *p++;
    if (const char16_t unit = JsonUnescapeLetter(escaped)) {
      FUnescaped.push_back(unit);
    } else if (escaped == u'u') {
      unsigned code = 0;
      for (int i = 0; i < 4; ++i, ++p) {
        if (p == FEnd) Fail("String not closed");
        const int digit = HexValue(*p);
        if (digit < 0) FailAt(p, "Invalid hex number \"" + Utf8OfCodeUnit(*p) + "\"");
        code = code * 16 + static_cast<unsigned>(digit);
      }
      FUnescaped.push_back(static_cast<char16_t>(code));
    } else {
      // '"', '\\', '/' and any other character stand for themselves.
      FUnescaped.push_back(escaped);
    }
    const char16_t* const special = FindStringSpecial(p, FEnd);
    FUnescaped.append(p, static_cast<size_t>(special - p));
    p = special;
  }
  FStringValue = FUnescaped;
  FPos = p + 1;
  FToken = jtString;
}

void TJsonTokenizer::ScanNumber() {
  const char16_t* p = FPos;
  const bool negative = *p == u'-';
  if (negative) ++p;
  const char16_t* const digits = p;
  while (p != FEnd && IsDigit(*p)) ++p;
  const char16_t* const digitsEnd = p;
  // A "." or exponent belongs to the number only when digits follow it.
  bool isFloat = false;
  if (p != FEnd && *p == u'.' && p + 1 != FEnd && IsDigit(p[1])) {
    isFloat = true;
    for (p += 2; p != FEnd && IsDigit(*p);) ++p;
  }
  if (p != FEnd && (*p == u'e' || *p == u'E')) {
    const char16_t* q = p + 1;
    if (q != FEnd && (*q == u'+' || *q == u'-')) ++q;
    if (q != FEnd && IsDigit(*q)) {
      isFloat = true;
      for (p = q + 1; p != FEnd && IsDigit(*p);) ++p;
    }
  }
  FPos = p;

  if (!isFloat && digitsEnd - digits <= 9) {
    int32_t value = 0;
    for (const char16_t* d = digits; d != digitsEnd; ++d) value = value * 10 + (*d - u'0');
    FIntValue = negative ? -value : value;
    FToken = jtInt;
    return;
  }
  if (!isFloat) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    uint64_t magnitude = 0;
    bool overflow = false;
    for (const char16_t* d = digits; d != digitsEnd && !overflow; ++d) {
      const auto digit = static_cast<uint64_t>(*d - u'0');
      overflow = magnitude > (kMax - digit) / 10;
      magnitude = magnitude * 10 + digit;
    }
    constexpr auto kLongMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!overflow && !negative) {
      if (magnitude <= kLongMax) {
        FLongValue = static_cast<int64_t>(magnitude);
        FToken = jtLong;
      } else {
        FULongValue = magnitude;
        FToken = jtULong;
      }
      return;
    }
    if (!overflow && magnitude <= kLongMax + 1) {
      FLongValue = static_cast<int64_t>(0 - magnitude);
      FToken = jtLong;
      return;
    }
  }
  FFloatValue = ParseFloat(FTokenStart, FPos);
  FToken = jtFloat;
}

void TJsonTokenizer::ScanIdentifier() {
  const char16_t* p = FPos + 1;
  while (p != FEnd && IsIdentifierPart(*p)) ++p;
  FStringValue = std::u16string_view(FPos, static_cast<size_t>(p - FPos));
  FPos = p;
  if (FStringValue == u"true") {
    FToken = jtTrue;
  } else if (FStringValue == u"false") {
    FToken = jtFalse;
  } else if (FStringValue == u"null") {
    FToken = jtNull;
  } else {
    FToken = jtIdentifier;
  }
}
