#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "JsonArray.h"
#include "JsonObject.h"

// Parses text that must give an object (or an array) and fails the test otherwise.
inline std::unique_ptr<TJsonObject> ParseObject(std::u16string_view AText) {
  auto document = TJsonBaseObject::Parse(AText);
  auto* object = dynamic_cast<TJsonObject*>(document.get());
  if (object == nullptr) throw std::logic_error("not an object");
  document.release();
  return std::unique_ptr<TJsonObject>(object);
}

inline std::unique_ptr<TJsonArray> ParseArray(std::u16string_view AText) {
  auto document = TJsonBaseObject::Parse(AText);
  auto* array = dynamic_cast<TJsonArray*>(document.get());
  if (array == nullptr) throw std::logic_error("not an array");
  document.release();
  return std::unique_ptr<TJsonArray>(array);
}

// Widens ASCII test text.
inline std::u16string U16(std::string_view AText) {
  return std::u16string(AText.begin(), AText.end());
}
