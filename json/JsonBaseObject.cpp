#include "JsonBaseObject.h"

#include "JsonArray.h"
#include "JsonObject.h"
#include "JsonParser.h"
#include "JsonWriter.h"

std::unique_ptr<TJsonBaseObject> TJsonBaseObject::Parse(const char16_t* AText, int ALen) {
  if (AText == nullptr || ALen == 0) return nullptr;
  const size_t length =
      ALen < 0 ? std::char_traits<char16_t>::length(AText) : static_cast<size_t>(ALen);
  return Parse(std::u16string_view(AText, length));
}

std::unique_ptr<TJsonBaseObject> TJsonBaseObject::Parse(std::u16string_view AText) {
  size_t start = 0;
  while (start < AText.size() && AText[start] <= u' ') ++start;
  if (start == AText.size()) return nullptr;
  TJsonParser parser(AText);
  if (AText[start] == u'[') {
    auto array = std::make_unique<TJsonArray>();
    parser.ParseDocument(*array);
    return array;
  }
  auto object = std::make_unique<TJsonObject>();
  parser.ParseDocument(*object);
  return object;
}

std::u16string TJsonBaseObject::ToJSON(bool ACompact) const {
  TJsonWriter writer(ACompact);
  InternToJSON(writer);
  return writer.TakeText();
}
