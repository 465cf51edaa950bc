#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "IdTextEncoding.h"

// Writes one object as compact JSON in UTF-8, appended to a frame's buffer: the bytes a document
// with the same members gives through ToString and UTF-8 encoding, without the document or the
// UTF-16 text in between. Members are written in the order given, and the caller repeats no name.
class TJsonReplyWriter {
 public:
  // Writes the opening brace.
  explicit TJsonReplyWriter(TIdBytes& AOut);

  void String(std::u16string_view AName, std::u16string_view AValue);
  void Int(std::u16string_view AName, int32_t AValue);
  void IntArray(std::u16string_view AName, const std::vector<int32_t>& AValues);
  void StringArray(std::u16string_view AName, const std::vector<std::u16string>& AValues);
  // Writes the closing brace; nothing may be added after it.
  void Finish();

 private:
  void Name(std::u16string_view AName);
  void Quoted(std::u16string_view AText);
  // The text's escapes and UTF-8 from where plain ASCII ends, without the closing quote.
  void QuotedRest(std::u16string_view AText);
  void Integer(int32_t AValue);

  TIdBytes& FOut;
  bool FFirst = true;
};
