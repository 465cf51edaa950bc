#pragma once

#include <vector>

#include "JsonBaseObject.h"
#include "JsonDataValue.h"

// An ordered sequence of values.
class TJsonArray final : public TJsonBaseObject {
 public:
  TJsonArray() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  const TJsonDataValue& Items(int AIndex) const { return FItems[AIndex]; }

  // Appends a jdtNone value.
  TJsonDataValue& AddItem();
  // Moves the values [AFirst, ALast) to the end, growing the item array once.
  void AdoptItems(TJsonDataValue* AFirst, TJsonDataValue* ALast);

  void InternToJSON(TJsonWriter& AWriter) const override;

 private:
  std::vector<TJsonDataValue> FItems;
};
