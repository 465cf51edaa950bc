#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "JsonBaseObject.h"
#include "JsonDataValue.h"

// A named value of a TJsonObject.
struct TJsonMember {
  explicit TJsonMember(std::u16string_view AName) : Name(AName) {}
  std::u16string Name;
  TJsonDataValue Value;
};

// An ordered sequence of named values in insertion order. Names are compared code unit by code
// unit; the same name may occur more than once, and lookups see the first.
class TJsonObject final : public TJsonBaseObject {
 public:
  TJsonObject() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::u16string& Names(int AIndex) const { return FItems[AIndex].Name; }
  const TJsonDataValue& Items(int AIndex) const { return FItems[AIndex].Value; }
  // Index of the first member called AName, -1 when there is none.
  int IndexOf(std::u16string_view AName) const;

  // The first member called AName as text (see TJsonDataValue::AsString); empty text when there
  // is no such member.
  std::u16string GetString(std::u16string_view AName) const;
  // Set the first member called AName, appending it when there is none; an existing member keeps
  // its position.
  void SetString(std::u16string_view AName, std::u16string_view AValue);
  void SetInt(std::u16string_view AName, int32_t AValue);

  // Makes room for ACount members in all, so that a document built member by member whose size
  // is known grows its array once.
  void Reserve(int ACount);

  // Appends a jdtNone member without looking for an existing one.
  TJsonDataValue& AddItem(std::u16string_view AName);
  // Moves the members [AFirst, ALast) to the end, growing the member array once.
  void AdoptMembers(TJsonMember* AFirst, TJsonMember* ALast);

  void InternToJSON(TJsonWriter& AWriter) const override;

 private:
  TJsonDataValue& Append(TJsonMember&& AMember);

  std::vector<TJsonMember> FItems;
};
