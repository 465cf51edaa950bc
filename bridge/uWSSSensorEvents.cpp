#include "IntegerText.h"
#include "JsonReplyWriter.h"
#include "uWSS.h"

// Once closing has begun the cache is gone and the clients are leaving: the handlers drop the
// events still arriving, before they reach the engine or the log.

void TWebSocketServerForm::NqFPEngX1Capture(TNqFPEngX*, bool, const OleVariant& ATemplate) {
  if (FClosing) return;
  // Every capture is matched, whatever the engine's result.
  std::u16string event = u"Verify", status, message;
  int32_t id = 0, score = 0, processed = 0;
  const int32_t matchType = FMatchType;
  if (matchType == 1) {
    const std::u16string captured = NqFPEngX1->GetTemplateAsString();
    std::u16string reference = RegTemplate10();  // the engine may write into its copy
    bool changed = false;
    if (NqFPEngX1->VerFingerFromStr(reference, captured, false, changed)) {
      status = u"success";
      message = u"Verify Succeed";
    } else {
      status = u"fail";
      message = u"Verify Failed";
    }
  } else if (matchType == 2) {
    event = u"Identify";
    score = 8;
    id = NqFPEngX1->IdentificationInFPCacheDB(fpcHandle, ATemplate, score, processed);
    if (id == -1) {
      status = u"fail";
      message = u"Identify Failed";
    } else {
      status = u"success";
      message = u"Identify Succeed ID = " + IntToStr(id) + u" Score = " + IntToStr(score) +
                u"  Processed Number = " + IntToStr(processed);
    }
  }
  const std::u16string state = LastState();
  const bool identify = event == u"Identify";
  SendMessage(event, status, message, [&](TJsonReplyWriter& json) {
    json.String(u"state", state);
    if (identify) {
      json.Int(u"id", id);
      json.Int(u"score", score);
      json.Int(u"processnum", processed);
    }
  });
}

void TWebSocketServerForm::NqFPEngX1Enroll(TNqFPEngX*, bool ActionResult, const OleVariant&) {
  if (FClosing) return;
  std::u16string status, message;
  if (!ActionResult) {
    status = u"fail";
    message = u"Fingerprint enrollment failed";
  } else {
    const std::u16string format9 = NqFPEngX1->GetTemplateAsStringEx(u"9");
    {
      std::lock_guard lock(FTextLock);
      sRegTemplate = format9;
    }
    const std::u16string format10 = NqFPEngX1->GetTemplateAsStringEx(u"10");
    {
      std::lock_guard lock(FTextLock);
      sRegTemplate10 = format9.empty() ? std::u16string() : format10;
    }
    if (format9.empty()) {
      status = u"fail";
      message = u"Fingerprint enrollment failed, template length is zero";
    } else if (format10.empty()) {
      status = u"fail";
      message = u"Enrollment 10.0 failed, template length is zero";
      std::lock_guard lock(FIdLock);
      ++FPID;
    } else {
      CacheUnderNextId(format9, format10);
      status = u"success";
      message = u"Fingerprint enrollment successful";
    }
  }
  const std::u16string state = LastState();
  const std::u16string templ = RegTemplate10();
  SendMessage(u"Enrollment Finish", status, message, [&](TJsonReplyWriter& json) {
    json.String(u"state", state);
    json.String(u"template", templ);
  });
}

void TWebSocketServerForm::NqFPEngX1FeatureInfo(TNqFPEngX*, int32_t AQuality) {
  if (FClosing) return;
  std::u16string message;
  if (NqFPEngX1->IsRegister()) {
    const int32_t due = NqFPEngX1->EnrollIndex() - 1;
    message = due > 0 ? u"Register status: press finger " + IntToStr(due) + u" more time(s)"
                      : u"Registration finished";
  }
  message += u" Fingerprint quality";
  const int32_t quality = NqFPEngX1->LastQuality();
  if (AQuality == -1)
    message += u" not good, Suspicious fingerprints, quality=" + IntToStr(quality);
  else if (AQuality != 0)
    message += u" not good, quality=" + IntToStr(quality);
  else
    message += u" good, quality=" + IntToStr(quality);
  const std::u16string state = LastState();
  SendMessage(u"Finger Scan Info", u"success", message, [&](TJsonReplyWriter& json) {
    json.Int(u"quality", quality);
    json.String(u"state", state);
    if (NqFPEngX1->IsRegister()) {
      json.Int(u"step_current", NqFPEngX1->EnrollCount() - NqFPEngX1->EnrollIndex() + 1);
      json.Int(u"step_total", NqFPEngX1->EnrollCount() - 1);
      json.Int(u"step_remainder", NqFPEngX1->EnrollIndex());
    }
  });
}

// A sensor handler on the main thread may have read the replaced handle a moment ago: the cache
// is released there, after every handler queued before.
void TWebSocketServerForm::ReleaseCacheOnMainThread(int32_t AHandle) {
  FQueue.Queue([engine = std::weak_ptr(FEngineForQueued), AHandle] {
    if (const auto alive = engine.lock()) (*alive)->FreeFPCacheDB(AHandle);
  });
}
