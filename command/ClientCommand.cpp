#include "ClientCommand.h"

#include <exception>

#include "JsonObject.h"

namespace {

std::string_view AsChars(const TIdBytes& ABytes) {
  return {reinterpret_cast<const char*>(ABytes.data()), ABytes.size()};
}

std::u16string Decoded(std::string_view AUtf8) {
  return IdTextEncodingUTF8().GetString(reinterpret_cast<const uint8_t*>(AUtf8.data()),
                                        AUtf8.size());
}

std::shared_ptr<const TJsonObject> ParsedObject(const TIdBytes& APayload) {
  std::unique_ptr<TJsonBaseObject> parsed;
  try {
    parsed = TJsonBaseObject::Parse(IdTextEncodingUTF8().GetString(APayload));
  } catch (const std::exception&) {
    return nullptr;
  }
  // A top-level array is dropped like text that is not JSON.
  if (!dynamic_cast<TJsonObject*>(parsed.get())) return nullptr;
  return std::shared_ptr<const TJsonObject>(static_cast<TJsonObject*>(parsed.release()));
}

}  // namespace

TClientCommand::TClientCommand(TIdBytes APayload) : FPayload(std::move(APayload)) {
  FIsFlat = FFlat.Scan(AsChars(FPayload));
  if (!FIsFlat) FDocument = ParsedObject(FPayload);
}

std::shared_ptr<const TClientCommand> TClientCommand::Read(TIdBytes APayload) {
  if (APayload.empty()) return nullptr;
  auto command = std::make_shared<const TClientCommand>(std::move(APayload));
  if (!command->FIsFlat && !command->FDocument) return nullptr;
  return command;
}

std::u16string TClientCommand::Text(std::string_view AName) const {
  if (FIsFlat) {
    const std::string_view* value = FFlat.Find(AName);
    return value ? Decoded(*value) : std::u16string();
  }
  return FDocument->GetString(std::u16string(AName.begin(), AName.end()));
}

std::shared_ptr<const TJsonObject> TClientCommand::Document() const {
  return FIsFlat ? ParsedObject(FPayload) : FDocument;
}

std::u16string TClientCommand::LogText() const {
  if (!FIsFlat) return FDocument->ToString();
  if (FFlat.Compact()) return Decoded(AsChars(FPayload));
  std::string compact = "{";
  for (size_t i = 0; i < FFlat.Count(); ++i) {
    const TJsonFlatObject::TMember& member = FFlat.Member(i);
    if (i > 0) compact += ',';
    compact.append("\"").append(member.Name).append("\":\"").append(member.Value).append("\"");
  }
  compact += '}';
  return Decoded(compact);
}
