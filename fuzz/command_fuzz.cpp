// Differential: the in-place command reading and the UTF-8 reply writer against the general
// path (decode, parse, GetString, ToString; a document written and encoded). Any difference in a
// text, an error, a drop, a log text or a reply byte aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ClientCommand.h"
#include "DocumentCommand.h"
#include "JsonArray.h"
#include "JsonExceptions.h"
#include "JsonObject.h"
#include "JsonReplyWriter.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition) abort();
}

std::optional<std::u16string> TextOrRaise(const TClientCommand& ACommand, std::string_view AName) {
  try {
    return ACommand.Text(AName);
  } catch (const EJsonCastException&) {
    return std::nullopt;
  }
}

void CompareCommand(const TIdBytes& APayload) {
  const TDocumentCommand expected(APayload);
  const std::shared_ptr<const TClientCommand> command = TClientCommand::Read(APayload);
  Check((command == nullptr) == (expected.Document == nullptr));
  if (!command) return;
  Check(command->LogText() == expected.Document->ToString());
  Check(TextOrRaise(*command, "act") == expected.Text(u"act"));
  Check(TextOrRaise(*command, "state") == expected.Text(u"state"));
  Check(command->Document()->ToString() == expected.Document->ToString());
}

// The input's bytes as UTF-16LE code units, so that lone and paired surrogates, controls and
// quotes all reach the writer.
std::u16string CodeUnits(const uint8_t* AData, size_t ASize) {
  std::u16string text;
  for (size_t i = 0; i + 1 < ASize; i += 2)
    text.push_back(static_cast<char16_t>(AData[i] | (AData[i + 1] << 8)));
  return text;
}

void CompareReply(const std::u16string& AText, int32_t ANumber) {
  const std::vector<int32_t> ids = {ANumber, -1};
  const std::vector<std::u16string> reasons = {AText, AText.substr(AText.size() / 2)};
  TIdBytes written;
  TJsonReplyWriter writer(written);
  writer.String(u"event", AText);
  writer.Int(u"id", ANumber);
  writer.IntArray(u"ids", ids);
  writer.StringArray(u"reasons", reasons);
  writer.String(AText.substr(0, 3), u"state");
  writer.Finish();

  TJsonObject document;
  document.AddItem(u"event").SetString(AText);
  document.AddItem(u"id").SetInt(ANumber);
  TJsonArray& idList = document.AddItem(u"ids").NewArray();
  for (int32_t id : ids) idList.AddItem().SetInt(id);
  TJsonArray& reasonList = document.AddItem(u"reasons").NewArray();
  for (const auto& reason : reasons) reasonList.AddItem().SetString(reason);
  document.AddItem(AText.substr(0, 3)).SetString(u"state");
  Check(written == IdTextEncodingUTF8().GetBytes(document.ToString()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  CompareCommand(TIdBytes(AData, AData + ASize));
  int32_t number = 0;
  for (size_t i = 0; i < ASize && i < 4; ++i) number = static_cast<int32_t>(number << 8 | AData[i]);
  CompareReply(CodeUnits(AData, ASize), number);
  return 0;
}
