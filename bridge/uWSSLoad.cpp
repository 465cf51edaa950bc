#include "IntegerText.h"
#include "JsonArray.h"
#include "JsonObject.h"
#include "JsonReplyWriter.h"
#include "uWSS.h"

namespace {

constexpr std::u16string_view kNoTemplates =
    u"Nothing loaded: \"templates\" must be a non-empty array of template texts";
constexpr std::u16string_view kNotAText = u"not a text";
// Only after an init that failed does the engine in use differ from the one of the cache.
constexpr std::u16string_view kCacheOfAnotherEngine =
    u"not added: the fingerprint cache belongs to the engine used before; send init, then load "
    u"again";

const TJsonArray* TemplateTexts(const TJsonObject& ACommand) {
  const int index = ACommand.IndexOf(u"templates");
  if (index < 0 || ACommand.Items(index).Typ() != jdtArray) return nullptr;
  const TJsonArray* texts = ACommand.Items(index).ArrayValue();
  return texts && texts->Count() > 0 ? texts : nullptr;
}

}  // namespace

// The reply lists, for each text in the order sent, the id it got (-1 when refused) and why it
// was refused (empty when loaded): a page pairs them with what it sent by position.
void TWebSocketServerForm::morvaneLoadTemplates(const std::u16string& state,
                                                const TJsonObject& command) {
  std::vector<int32_t> ids;
  std::vector<std::u16string> reasons;
  int32_t loaded = 0;
  const TJsonArray* texts = TemplateTexts(command);
  for (int i = 0; texts && i < texts->Count(); ++i) {
    const TJsonDataValue& item = texts->Items(i);
    int32_t id = -1;
    std::u16string reason(kNotAText);
    if (item.Typ() == jdtString) {
      const std::u16string text = item.AsString();
      reason = NqFPEngX1->TemplateFault(text);
      if (reason.empty()) {
        const auto [given, result] = CacheUnderNextId(text, text);
        if (result == 0) {
          id = given;
          ++loaded;
        } else {
          reason = kCacheOfAnotherEngine;
        }
      }
    }
    ids.push_back(id);
    reasons.push_back(std::move(reason));
  }
  const bool all = texts && loaded == texts->Count();
  const std::u16string message =
      texts ? u"Loaded " + IntToStr(loaded) + u" of " + IntToStr(texts->Count()) + u" templates"
            : std::u16string(kNoTemplates);
  SendMessage(u"Load Templates", all ? u"success" : u"fail", message, [&](TJsonReplyWriter& json) {
    json.IntArray(u"ids", ids);
    json.StringArray(u"reasons", reasons);
    json.String(u"state", state);
  });
}

std::pair<int32_t, int32_t> TWebSocketServerForm::CacheUnderNextId(
    const std::u16string& ARegTemplate9, const std::u16string& ARegTemplate10) {
  std::lock_guard lock(FIdLock);
  const int32_t id = FPID;
  const int32_t result =
      NqFPEngX1->AddRegTemplateStrToFPCacheDBEx(fpcHandle, id, ARegTemplate9, ARegTemplate10);
  ++FPID;
  return {id, result};
}
