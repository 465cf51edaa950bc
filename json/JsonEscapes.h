#pragma once

// The one-letter escapes of JSON strings, shared by the reader and the writer.
struct TJsonShortEscape {
  char16_t Letter;
  char16_t CodeUnit;
};

inline constexpr TJsonShortEscape kJsonShortEscapes[] = {
    {u'b', u'\b'}, {u'f', u'\f'}, {u'n', u'\n'}, {u'r', u'\r'}, {u't', u'\t'}};

// The code unit a letter after a backslash stands for; 0 when the letter is no short escape.
constexpr char16_t JsonUnescapeLetter(char16_t ALetter) {
  for (const auto& e : kJsonShortEscapes)
    if (e.Letter == ALetter) return e.CodeUnit;
  return 0;
}

// The letter that writes a code unit after a backslash; 0 when it has none.
constexpr char16_t JsonEscapeLetter(char16_t ACodeUnit) {
  for (const auto& e : kJsonShortEscapes)
    if (e.CodeUnit == ACodeUnit) return e.Letter;
  return 0;
}
