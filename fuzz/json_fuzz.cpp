// Parses arbitrary text; whatever parses must write, read back and write again to the same text,
// in the compact and in the indented form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "JsonExceptions.h"
#include "JsonObject.h"

namespace {

// Input that starts with the UTF-16LE byte-order mark is read as UTF-16LE code units, so that
// surrogates and other non-ASCII units are explored; any other input is widened byte by byte,
// which keeps the mostly ASCII seeds and their mutations meaningful.
std::u16string ToUtf16(const uint8_t* AData, size_t ASize) {
  std::u16string text;
  if (ASize >= 2 && AData[0] == 0xFF && AData[1] == 0xFE) {
    for (size_t i = 2; i + 1 < ASize; i += 2) {
      text.push_back(static_cast<char16_t>(AData[i] | (AData[i + 1] << 8)));
    }
  } else {
    text.assign(AData, AData + ASize);
  }
  return text;
}

std::unique_ptr<TJsonBaseObject> MustParse(const std::u16string& AText) {
  try {
    auto document = TJsonBaseObject::Parse(AText);
    if (document != nullptr) return document;
  } catch (const EJsonException&) {
  }
  abort();
}

// Reads every member of an object as text, as the bridge reads "act" and "state".
void ReadMembers(const TJsonObject& AObject) {
  for (int i = 0; i < AObject.Count(); ++i) {
    try {
      const std::u16string text = AObject.GetString(AObject.Names(i));
      if (AObject.Items(i).Typ() == jdtString && AObject.IndexOf(AObject.Names(i)) == i &&
          text != AObject.Items(i).AsString()) {
        abort();
      }
    } catch (const EJsonCastException&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::u16string text = ToUtf16(AData, ASize);
  std::unique_ptr<TJsonBaseObject> document;
  try {
    document = TJsonBaseObject::Parse(text);
  } catch (const EJsonParserException& e) {
    if (e.Position() < 0 || static_cast<size_t>(e.Position()) > text.size() || e.LineNum() < 1 ||
        e.Column() < 1) {
      abort();
    }
    return 0;
  }
  if (document == nullptr) return 0;
  if (const auto* object = dynamic_cast<const TJsonObject*>(document.get())) ReadMembers(*object);

  const std::u16string once = document->ToString();
  const std::u16string twice = MustParse(once)->ToString();
  if (twice != once) abort();
  if (MustParse(document->ToJSON(false))->ToString() != once) abort();
  return 0;
}
