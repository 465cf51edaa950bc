#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "JsonDataType.h"

class TJsonArray;
class TJsonObject;
class TJsonWriter;

// One JSON value: a type tag and its payload. A nested array or object is owned by the value.
// A new value is jdtNone; the literal null is jdtObject without an object.
class TJsonDataValue {
 public:
  TJsonDataValue() noexcept : FLongValue(0) {}
  ~TJsonDataValue() { Clear(); }
  // Moves are inline and cheap: member arrays move their values whenever they grow.
  TJsonDataValue(TJsonDataValue&& AOther) noexcept : FLongValue(0) { TakeFrom(AOther); }
  TJsonDataValue& operator=(TJsonDataValue&& AOther) noexcept {
    if (this != &AOther) {
      Clear();
      TakeFrom(AOther);
    }
    return *this;
  }
  TJsonDataValue(const TJsonDataValue&) = delete;
  TJsonDataValue& operator=(const TJsonDataValue&) = delete;

  TJsonDataType Typ() const { return FTyp; }
  bool IsNull() const { return FTyp == jdtObject && FObjectValue == nullptr; }

  // The value as text: empty for jdtNone, decimal digits for integers, the general format with
  // at most 15 significant digits for floats, "true"/"false" for booleans. Raises
  // EJsonCastException for arrays, objects and null.
  std::u16string AsString() const;
  // The nested document, nullptr when absent (null). Raise EJsonCastException for other types.
  const TJsonArray* ArrayValue() const;
  const TJsonObject* ObjectValue() const;

  void SetString(std::u16string_view AValue);
  void SetInt(int32_t AValue);
  void SetLong(int64_t AValue);
  void SetULong(uint64_t AValue);
  void SetFloat(double AValue);
  void SetBool(bool AValue);
  void SetNull();
  // Replace the value with a new empty document and return it.
  TJsonArray& NewArray();
  TJsonObject& NewObject();

  void InternToJSON(TJsonWriter& AWriter) const;

 private:
  // Everything but a present nested document.
  void WriteScalar(TJsonWriter& AWriter) const;
  bool OwnsPayload() const { return FTyp == jdtString || FTyp == jdtArray || FTyp == jdtObject; }
  // Releases the payload and leaves jdtNone.
  void Clear() noexcept {
    if (OwnsPayload()) ReleasePayload();
    FTyp = jdtNone;
  }
  void ReleasePayload() noexcept;
  // Takes AOther's payload into this jdtNone value and leaves AOther jdtNone.
  void TakeFrom(TJsonDataValue& AOther) noexcept {
    if (AOther.FTyp == jdtString) {
      new (&FStringValue) std::u16string(std::move(AOther.FStringValue));
      AOther.FStringValue.~basic_string();
    } else {
      // Scalars and document pointers: the tag decides which member is meant, so the raw
      // bits carry every one of them; AOther gives up ownership by becoming jdtNone.
      std::memcpy(&FLongValue, &AOther.FLongValue, sizeof FLongValue);
    }
    FTyp = AOther.FTyp;
    AOther.FTyp = jdtNone;
  }

  TJsonDataType FTyp = jdtNone;
  union {
    std::u16string FStringValue;
    int32_t FIntValue;
    int64_t FLongValue;
    uint64_t FULongValue;
    double FFloatValue;
    bool FBoolValue;
    TJsonArray* FArrayValue;
    TJsonObject* FObjectValue;
  };
};
