#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum TJsonToken : uint8_t {
  jtEof,
  jtInvalid,
  jtBeginObject,
  jtEndObject,
  jtBeginArray,
  jtEndArray,
  jtComma,
  jtColon,
  jtString,
  jtIdentifier,
  jtInt,
  jtLong,
  jtULong,
  jtFloat,
  jtTrue,
  jtFalse,
  jtNull,
};

// The name of a token in parser messages: "end of file", "invalid symbol", "\"{\"", ...,
// "identifier", and "value" for strings, numbers and literals.
const char* JsonTokenName(TJsonToken AToken);

// Splits UTF-16 text into JSON tokens. Code units up to 32 separate tokens. Identifiers are
// "$", letters or "_" followed by letters, digits or "_"; true, false and null are literals.
class TJsonTokenizer {
 public:
  explicit TJsonTokenizer(std::u16string_view AText);

  // Reads the next token; raises EJsonParserException for a bad string.
  void Next();

  TJsonToken Token() const { return FToken; }
  // The token as written in the text.
  std::u16string_view TokenText() const {
    return std::u16string_view(FTokenStart, static_cast<size_t>(FPos - FTokenStart));
  }
  // The characters of a string (escapes resolved) or an identifier; valid until the next token.
  std::u16string_view StringValue() const { return FStringValue; }
  int32_t IntValue() const { return FIntValue; }
  int64_t LongValue() const { return FLongValue; }
  uint64_t ULongValue() const { return FULongValue; }
  double FloatValue() const { return FFloatValue; }

  // Raise EJsonParserException with AMessage and the line and column of the current token or of
  // AAt.
  [[noreturn]] void Fail(const std::string& AMessage) const { FailAt(FTokenStart, AMessage); }
  [[noreturn]] void FailAt(const char16_t* AAt, const std::string& AMessage) const;

 private:
  void ScanString();
  void ScanEscapedString(const char16_t* AFrom);
  void ScanNumber();
  void ScanIdentifier();

  const char16_t* const FText;
  const char16_t* const FEnd;
  const char16_t* FPos;
  const char16_t* FTokenStart;
  TJsonToken FToken = jtEof;
  std::u16string_view FStringValue;
  // Holds string values that contained escapes; reused from token to token.
  std::u16string FUnescaped;
  int32_t FIntValue = 0;
  int64_t FLongValue = 0;
  uint64_t FULongValue = 0;
  double FFloatValue = 0;
};
