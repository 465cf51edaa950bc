#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "IdTextEncoding.h"
#include "JsonFlatObject.h"

class TJsonObject;

// A client's command as the bridge reads it from a text frame's payload. A flat command (see
// TJsonFlatObject), which is nearly every one, is read in place from its UTF-8 bytes; any other is
// decoded and parsed into a document as before. Both give the same texts, the same errors and the
// same log text for the same payload.
//
// Immutable once read, so the connection thread and the log line on the main thread share it.
class TClientCommand {
 public:
  // Null for a payload that is not a JSON object (not JSON, an array, blanks): it is dropped.
  static std::shared_ptr<const TClientCommand> Read(TIdBytes APayload);

  // The text of the member named AName (ASCII), as the document's GetString gives it: empty when
  // missing, a number or literal as written; raises EJsonCastException for an object, an array or
  // null.
  std::u16string Text(std::string_view AName) const;
  // The whole command as a document, for commands that carry more than texts.
  std::shared_ptr<const TJsonObject> Document() const;
  // The command written back as compact JSON, as the log shows it.
  std::u16string LogText() const;

  // Use Read. Not copied: the flat members point into the payload.
  explicit TClientCommand(TIdBytes APayload);
  TClientCommand(const TClientCommand&) = delete;
  TClientCommand& operator=(const TClientCommand&) = delete;

 private:
  const TIdBytes FPayload;
  // Members point into FPayload, which never changes after construction.
  TJsonFlatObject FFlat;
  bool FIsFlat = false;
  // Set when the command is not flat.
  std::shared_ptr<const TJsonObject> FDocument;
};
