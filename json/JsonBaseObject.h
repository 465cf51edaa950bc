#pragma once

#include <memory>
#include <string>
#include <string_view>

class TJsonWriter;

// Common base of the two document kinds, TJsonObject and TJsonArray. Documents own every nested
// document and value.
class TJsonBaseObject {
 public:
  // Documents nested deeper than this are rejected by Parse, so that parsing, writing and
  // freeing a document never run out of stack.
  static constexpr int MaxNestingDepth = 1000;

  virtual ~TJsonBaseObject() = default;
  TJsonBaseObject(const TJsonBaseObject&) = delete;
  TJsonBaseObject& operator=(const TJsonBaseObject&) = delete;

  // Parses UTF-16 text into a TJsonArray when it starts with "[" after blanks, otherwise into a
  // TJsonObject. ALen is the length in code units, negative for "up to the first NUL". Returns
  // nullptr for no text, ALen 0 or blanks only. Raises EJsonParserException for bad text.
  static std::unique_ptr<TJsonBaseObject> Parse(const char16_t* AText, int ALen);
  static std::unique_ptr<TJsonBaseObject> Parse(std::u16string_view AText);

  std::u16string ToJSON(bool ACompact = true) const;
  std::u16string ToString() const { return ToJSON(true); }

  virtual void InternToJSON(TJsonWriter& AWriter) const = 0;

 protected:
  TJsonBaseObject() = default;
};
