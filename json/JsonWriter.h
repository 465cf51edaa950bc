#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// Builds the text form of a document in one growing buffer. The compact form has no white
// space; the indented form puts every member and item on its own line, two spaces per level.
class TJsonWriter {
 public:
  explicit TJsonWriter(bool ACompact);

  void Append(char16_t AChar) { FText.push_back(AChar); }
  void Append(std::u16string_view AText) { FText.append(AText); }
  // A double-quoted string with the JSON escapes for '"', '\\' and code units below 32.
  void AppendQuoted(std::u16string_view AText);
  void AppendInteger(int64_t AValue);
  void AppendInteger(uint64_t AValue);
  void AppendInteger(int32_t AValue) { AppendInteger(static_cast<int64_t>(AValue)); }
  void AppendFloat(double AValue);

  // Layout of a non-empty object or array: the opening mark, "," between entries, ":" after a
  // member name, the closing mark.
  void OpenBlock(char16_t AMark);
  void EntrySeparator();
  void NameSeparator();
  void CloseBlock(char16_t AMark);

  std::u16string TakeText() { return std::move(FText); }

 private:
  void NewLine();

  std::u16string FText;
  bool FCompact;
  int FLevel = 0;
};
