#include "JsonArray.h"

#include <iterator>

#include "JsonCapacity.h"
#include "JsonWriter.h"

TJsonDataValue& TJsonArray::AddItem() {
  JsonReserveFor(FItems, FItems.size() + 1);
  return FItems.emplace_back();
}

void TJsonArray::AdoptItems(TJsonDataValue* AFirst, TJsonDataValue* ALast) {
  JsonReserveFor(FItems, FItems.size() + static_cast<size_t>(ALast - AFirst));
  FItems.insert(FItems.end(), std::make_move_iterator(AFirst), std::make_move_iterator(ALast));
}

void TJsonArray::InternToJSON(TJsonWriter& AWriter) const {
  if (FItems.empty()) {
    AWriter.Append(u"[]");
    return;
  }
  AWriter.OpenBlock(u'[');
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (i > 0) AWriter.EntrySeparator();
    FItems[i].InternToJSON(AWriter);
  }
  AWriter.CloseBlock(u']');
}
