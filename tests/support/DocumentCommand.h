#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "IdTextEncoding.h"
#include "JsonExceptions.h"
#include "JsonObject.h"

// A command read the general way, for checking the in-place reading against: decoded from UTF-8,
// parsed into a document, members read with GetString, written back with ToString.
struct TDocumentCommand {
  // Null when the payload is dropped (not JSON, not an object).
  std::shared_ptr<const TJsonObject> Document;

  explicit TDocumentCommand(const TIdBytes& APayload) {
    if (APayload.empty()) return;
    try {
      std::unique_ptr<TJsonBaseObject> parsed =
          TJsonBaseObject::Parse(IdTextEncodingUTF8().GetString(APayload));
      if (auto* object = dynamic_cast<TJsonObject*>(parsed.get())) {
        parsed.release();
        Document.reset(object);
      }
    } catch (const std::exception&) {
    }
  }

  // The member's text, or nothing where reading it raises.
  std::optional<std::u16string> Text(std::u16string_view AName) const {
    try {
      return Document->GetString(AName);
    } catch (const EJsonException&) {
      return std::nullopt;
    }
  }
};
