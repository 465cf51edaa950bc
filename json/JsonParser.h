#pragma once

#include <string_view>
#include <vector>

#include "JsonArray.h"
#include "JsonObject.h"
#include "JsonTokenizer.h"

// Reads one document from UTF-16 text into an empty TJsonObject or TJsonArray; raises
// EJsonParserException for bad text. After the closing mark of the document the next token is
// read and the rest of the text ignored.
class TJsonParser {
 public:
  explicit TJsonParser(std::u16string_view AText) : FTokenizer(AText) {}

  void ParseDocument(TJsonObject& AObject);
  void ParseDocument(TJsonArray& AArray);

 private:
  // Each reads from the current token up to and including its closing mark, then reads the token
  // after it.
  void ParseObjectBody(TJsonObject& AObject, int ADepth);
  void ParseArrayBody(TJsonArray& AArray, int ADepth);
  void ParseValue(TJsonDataValue& AValue, int ADepth);

  // Reads a member name and its ":" and returns the new member's value.
  TJsonDataValue& PushMember();
  TJsonDataValue& PushItem();
  // Hands the members or items pushed since ABase to their document and reads past its end.
  void FinishObject(TJsonObject& AObject, size_t ABase);
  void FinishArray(TJsonArray& AArray, size_t ABase);
  // Give AValue a new document at nesting depth ADepth and read past its opening mark.
  TJsonObject& OpenObject(TJsonDataValue& AValue, int ADepth);
  TJsonArray& OpenArray(TJsonDataValue& AValue, int ADepth);
  void ParseScalar(TJsonDataValue& AValue);

  // Checks the current token and moves past it.
  void Expect(TJsonToken AToken);
  [[noreturn]] void FailExpected(const char* AExpected) const;
  void CheckDepth(int ADepth) const;

  TJsonTokenizer FTokenizer;
  // Members and items of the open objects and arrays, innermost last. A finished object or array
  // takes its own in one move, so its array grows once to its final size.
  std::vector<TJsonMember> FMemberStack;
  std::vector<TJsonDataValue> FItemStack;
};
