#include "JsonParser.h"

#include <string>

#include "JsonExceptions.h"

namespace {

// Enough for the commands and events the bridge exchanges without growing the stacks, and small
// enough (8 members take 576 bytes) that the allocator serves the stack from its per-thread cache
// instead of its shared bins: with 16 the first member of every parse cost about five times as
// much.
constexpr size_t kInitialStackCapacity = 8;

}  // namespace

void TJsonParser::ParseDocument(TJsonObject& AObject) {
  FTokenizer.Next();
  Expect(jtBeginObject);
  ParseObjectBody(AObject, 1);
}

void TJsonParser::ParseDocument(TJsonArray& AArray) {
  FTokenizer.Next();
  Expect(jtBeginArray);
  ParseArrayBody(AArray, 1);
}

// The recursive functions keep their frames small: the deepest document nests them
// MaxNestingDepth times, and sanitizer builds enlarge every local.

void TJsonParser::ParseObjectBody(TJsonObject& AObject, int ADepth) {
  const size_t base = FMemberStack.size();
  if (FTokenizer.Token() != jtEndObject) {
    for (;;) {
      ParseValue(PushMember(), ADepth);
      if (FTokenizer.Token() != jtComma) break;
      FTokenizer.Next();
    }
  }
  FinishObject(AObject, base);
}

void TJsonParser::ParseArrayBody(TJsonArray& AArray, int ADepth) {
  const size_t base = FItemStack.size();
  if (FTokenizer.Token() != jtEndArray) {
    for (;;) {
      ParseValue(PushItem(), ADepth);
      if (FTokenizer.Token() != jtComma) break;
      FTokenizer.Next();
    }
  }
  FinishArray(AArray, base);
}

void TJsonParser::ParseValue(TJsonDataValue& AValue, int ADepth) {
  const TJsonToken token = FTokenizer.Token();
  if (token == jtBeginObject) {
    ParseObjectBody(OpenObject(AValue, ADepth + 1), ADepth + 1);
  } else if (token == jtBeginArray) {
    ParseArrayBody(OpenArray(AValue, ADepth + 1), ADepth + 1);
  } else {
    ParseScalar(AValue);
  }
}

TJsonDataValue& TJsonParser::PushMember() {
  if (FMemberStack.empty()) FMemberStack.reserve(kInitialStackCapacity);
  switch (FTokenizer.Token()) {
    case jtString:
    case jtIdentifier:
      FMemberStack.emplace_back(FTokenizer.StringValue());
      break;
    // A number or literal where a name belongs is taken as written.
    case jtInt:
    case jtLong:
    case jtULong:
    case jtFloat:
    case jtTrue:
    case jtFalse:
    case jtNull:
      FMemberStack.emplace_back(FTokenizer.TokenText());
      break;
    default:
      FailExpected(JsonTokenName(jtIdentifier));
  }
  FTokenizer.Next();
  Expect(jtColon);
  return FMemberStack.back().Value;
}

TJsonDataValue& TJsonParser::PushItem() {
  if (FItemStack.empty()) FItemStack.reserve(kInitialStackCapacity);
  return FItemStack.emplace_back();
}

void TJsonParser::FinishObject(TJsonObject& AObject, size_t ABase) {
  if (FTokenizer.Token() != jtEndObject) FailExpected(JsonTokenName(jtEndObject));
  AObject.AdoptMembers(FMemberStack.data() + ABase, FMemberStack.data() + FMemberStack.size());
  FMemberStack.erase(FMemberStack.begin() + static_cast<std::ptrdiff_t>(ABase), FMemberStack.end());
  FTokenizer.Next();
}

void TJsonParser::FinishArray(TJsonArray& AArray, size_t ABase) {
  if (FTokenizer.Token() != jtEndArray) FailExpected(JsonTokenName(jtEndArray));
  AArray.AdoptItems(FItemStack.data() + ABase, FItemStack.data() + FItemStack.size());
  FItemStack.erase(FItemStack.begin() + static_cast<std::ptrdiff_t>(ABase), FItemStack.end());
  FTokenizer.Next();
}

TJsonObject& TJsonParser::OpenObject(TJsonDataValue& AValue, int ADepth) {
  CheckDepth(ADepth);
  TJsonObject& object = AValue.NewObject();
  FTokenizer.Next();
  return object;
}

TJsonArray& TJsonParser::OpenArray(TJsonDataValue& AValue, int ADepth) {
  CheckDepth(ADepth);
  TJsonArray& array = AValue.NewArray();
  FTokenizer.Next();
  return array;
}

void TJsonParser::ParseScalar(TJsonDataValue& AValue) {
  switch (FTokenizer.Token()) {
    case jtString:
    case jtIdentifier:
      AValue.SetString(FTokenizer.StringValue());
      break;
    case jtInt:
      AValue.SetInt(FTokenizer.IntValue());
      break;
    case jtLong:
      AValue.SetLong(FTokenizer.LongValue());
      break;
    case jtULong:
      AValue.SetULong(FTokenizer.ULongValue());
      break;
    case jtFloat:
      AValue.SetFloat(FTokenizer.FloatValue());
      break;
    case jtTrue:
    case jtFalse:
      AValue.SetBool(FTokenizer.Token() == jtTrue);
      break;
    case jtNull:
      AValue.SetNull();
      break;
    default:
      FailExpected("value");
  }
  FTokenizer.Next();
}

void TJsonParser::Expect(TJsonToken AToken) {
  if (FTokenizer.Token() != AToken) FailExpected(JsonTokenName(AToken));
  FTokenizer.Next();
}

void TJsonParser::FailExpected(const char* AExpected) const {
  if (FTokenizer.Token() == jtEof) {
    FTokenizer.Fail(std::string("Unexpected end of file where ") + AExpected + " was expected");
  }
  FTokenizer.Fail(std::string("Expected ") + AExpected + " but found " +
                  JsonTokenName(FTokenizer.Token()));
}

void TJsonParser::CheckDepth(int ADepth) const {
  if (ADepth > TJsonBaseObject::MaxNestingDepth) {
    FTokenizer.Fail("Nesting deeper than " + std::to_string(TJsonBaseObject::MaxNestingDepth) +
                    " levels");
  }
}
