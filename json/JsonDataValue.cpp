#include "JsonDataValue.h"

#include <memory>

#include "JsonArray.h"
#include "JsonExceptions.h"
#include "JsonNumberText.h"
#include "JsonObject.h"
#include "JsonWriter.h"

void TJsonDataValue::ReleasePayload() noexcept {
  switch (FTyp) {
    case jdtString:
      FStringValue.~basic_string();
      break;
    case jdtArray:
      delete FArrayValue;
      break;
    case jdtObject:
      delete FObjectValue;
      break;
    default:
      break;
  }
}

std::u16string TJsonDataValue::AsString() const {
  std::u16string text;
  switch (FTyp) {
    case jdtString:
      return FStringValue;
    case jdtInt:
      AppendJsonInteger(text, FIntValue);
      break;
    case jdtLong:
      AppendJsonInteger(text, FLongValue);
      break;
    case jdtULong:
      AppendJsonInteger(text, FULongValue);
      break;
    case jdtFloat:
      AppendJsonFloat(text, FFloatValue);
      break;
    case jdtBool:
      text = FBoolValue ? u"true" : u"false";
      break;
    case jdtArray:
    case jdtObject:
      throw EJsonCastException(FTyp, jdtString);
    // Nothing produces date-time values, so they carry no payload and read like jdtNone.
    case jdtNone:
    case jdtDateTime:
    case jdtUtcDateTime:
      break;
  }
  return text;
}

const TJsonArray* TJsonDataValue::ArrayValue() const {
  if (FTyp != jdtArray) throw EJsonCastException(FTyp, jdtArray);
  return FArrayValue;
}

const TJsonObject* TJsonDataValue::ObjectValue() const {
  if (FTyp != jdtObject) throw EJsonCastException(FTyp, jdtObject);
  return FObjectValue;
}

void TJsonDataValue::SetString(std::u16string_view AValue) {
  if (FTyp == jdtString) {
    FStringValue.assign(AValue);
    return;
  }
  Clear();
  new (&FStringValue) std::u16string(AValue);
  FTyp = jdtString;
}

void TJsonDataValue::SetInt(int32_t AValue) {
  Clear();
  FIntValue = AValue;
  FTyp = jdtInt;
}

void TJsonDataValue::SetLong(int64_t AValue) {
  Clear();
  FLongValue = AValue;
  FTyp = jdtLong;
}

void TJsonDataValue::SetULong(uint64_t AValue) {
  Clear();
  FULongValue = AValue;
  FTyp = jdtULong;
}

void TJsonDataValue::SetFloat(double AValue) {
  Clear();
  FFloatValue = AValue;
  FTyp = jdtFloat;
}

void TJsonDataValue::SetBool(bool AValue) {
  Clear();
  FBoolValue = AValue;
  FTyp = jdtBool;
}

void TJsonDataValue::SetNull() {
  Clear();
  FObjectValue = nullptr;
  FTyp = jdtObject;
}

TJsonArray& TJsonDataValue::NewArray() {
  auto array = std::make_unique<TJsonArray>();
  Clear();
  FArrayValue = array.release();
  FTyp = jdtArray;
  return *FArrayValue;
}

TJsonObject& TJsonDataValue::NewObject() {
  auto object = std::make_unique<TJsonObject>();
  Clear();
  FObjectValue = object.release();
  FTyp = jdtObject;
  return *FObjectValue;
}

void TJsonDataValue::InternToJSON(TJsonWriter& AWriter) const {
  // Only nested documents recurse, through a small frame; everything else is written by
  // WriteScalar.
  if (FTyp == jdtArray && FArrayValue != nullptr) {
    FArrayValue->InternToJSON(AWriter);
  } else if (FTyp == jdtObject && FObjectValue != nullptr) {
    FObjectValue->InternToJSON(AWriter);
  } else {
    WriteScalar(AWriter);
  }
}

void TJsonDataValue::WriteScalar(TJsonWriter& AWriter) const {
  switch (FTyp) {
    case jdtString:
      AWriter.AppendQuoted(FStringValue);
      break;
    case jdtInt:
      AWriter.AppendInteger(FIntValue);
      break;
    case jdtLong:
      AWriter.AppendInteger(FLongValue);
      break;
    case jdtULong:
      AWriter.AppendInteger(FULongValue);
      break;
    case jdtFloat:
      AWriter.AppendFloat(FFloatValue);
      break;
    case jdtBool:
      AWriter.Append(FBoolValue ? u"true" : u"false");
      break;
    case jdtArray:
      AWriter.Append(u"[]");
      break;
    case jdtObject:
    case jdtNone:
    case jdtDateTime:
    case jdtUtcDateTime:
      AWriter.Append(u"null");
      break;
  }
}
