#include "JsonObject.h"

#include <iterator>

#include "JsonCapacity.h"
#include "JsonWriter.h"

int TJsonObject::IndexOf(std::u16string_view AName) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].Name == AName) return static_cast<int>(i);
  }
  return -1;
}

std::u16string TJsonObject::GetString(std::u16string_view AName) const {
  const int index = IndexOf(AName);
  return index < 0 ? std::u16string() : FItems[index].Value.AsString();
}

void TJsonObject::SetString(std::u16string_view AName, std::u16string_view AValue) {
  const int index = IndexOf(AName);
  if (index >= 0) {
    FItems[index].Value.SetString(AValue);
    return;
  }
  // Copy before appending: AValue may point into a member that the append moves.
  TJsonDataValue value;
  value.SetString(AValue);
  Append(TJsonMember(AName)) = std::move(value);
}

void TJsonObject::SetInt(std::u16string_view AName, int32_t AValue) {
  const int index = IndexOf(AName);
  if (index >= 0) {
    FItems[index].Value.SetInt(AValue);
    return;
  }
  Append(TJsonMember(AName)).SetInt(AValue);
}

void TJsonObject::Reserve(int ACount) {
  if (ACount > 0) JsonReserveFor(FItems, static_cast<size_t>(ACount));
}

TJsonDataValue& TJsonObject::AddItem(std::u16string_view AName) {
  return Append(TJsonMember(AName));
}

void TJsonObject::AdoptMembers(TJsonMember* AFirst, TJsonMember* ALast) {
  JsonReserveFor(FItems, FItems.size() + static_cast<size_t>(ALast - AFirst));
  FItems.insert(FItems.end(), std::make_move_iterator(AFirst), std::make_move_iterator(ALast));
}

// The member is built before the array grows, so that a name or value taken from this object
// stays valid while it is copied.
TJsonDataValue& TJsonObject::Append(TJsonMember&& AMember) {
  JsonReserveFor(FItems, FItems.size() + 1);
  return FItems.emplace_back(std::move(AMember)).Value;
}

void TJsonObject::InternToJSON(TJsonWriter& AWriter) const {
  if (FItems.empty()) {
    AWriter.Append(u"{}");
    return;
  }
  AWriter.OpenBlock(u'{');
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (i > 0) AWriter.EntrySeparator();
    AWriter.AppendQuoted(FItems[i].Name);
    AWriter.NameSeparator();
    FItems[i].Value.InternToJSON(AWriter);
  }
  AWriter.CloseBlock(u'}');
}
