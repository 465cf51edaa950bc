#include "ClientCommand.h"
#include "IntegerText.h"
#include "JsonObject.h"
#include "JsonReplyWriter.h"
#include "WebSocketIOHandlerHelper.h"
#include "WebSocketServer.h"
#include "uWSS.h"

namespace {

// Taken by reference: the members are added before SendMessage returns, and a capture this small
// costs the std::function no allocation.
TWebSocketServerForm::TMembers StateOnly(const std::u16string& AState) {
  return [&AState](TJsonReplyWriter& json) { json.String(u"state", AState); };
}

}  // namespace

void TWebSocketServerForm::OnWebSocketExecute(TIdContext* AContext) {
  TIdIOHandler& io = *AContext->Connection()->IOHandler();
  // No short wait for input first: the read below waits for its first byte without a time limit
  // and wakes on input, end of stream or shutdown alike, so the wait would only cost a poll and a
  // receive per message.
  const std::shared_ptr<const TClientCommand> command =
      TClientCommand::Read(TWebSocketIOHandlerHelper(io).ReadBytes());
  if (!command) return;
  TIdIOHandlerSocket* socket = AContext->Connection()->Socket();
  LogCommand(socket ? std::u16string_view(socket->BoundIP) : std::u16string_view(), command);
  // A "state" or "act" that is an object, an array or null raises here and ends this client's
  // connection.
  // Each member is read once: reading it again gives the same text or the same error, and the
  // six command names differ, so at most one action runs either way.
  const std::u16string state = command->Text("state");
  {
    std::lock_guard lock(FTextLock);
    gState = state;
  }
  const std::u16string act = command->Text("act");
  if (act == u"init") morvaneInitEngine(state);
  if (act == u"disconnect") morvaneDisconnectEngine(state);
  if (act == u"enroll") morvaneRegister(state);
  if (act == u"cancelenroll") morvaneCancelRegister(state);
  if (act == u"verify") morvaneVerify(state);
  if (act == u"identify") morvaneIdentify(state);
  if (act == u"load") {
    if (const std::shared_ptr<const TJsonObject> document = command->Document())
      morvaneLoadTemplates(state, *document);
  }
}

void TWebSocketServerForm::morvaneInitEngine(const std::u16string& state) {
  std::u16string status, message;
  if (NqFPEngX1->InitEngine() == 0) {
    NqFPEngX1->SetFPEngineVersion(u"10");
    // The cache it replaces is released: without that every init would leak one.
    const int32_t previous = fpcHandle.exchange(NqFPEngX1->CreateFPCacheDBEx());
    if (previous != 0) ReleaseCacheOnMainThread(previous);
    log(u"fingerprint", u"Sensor: " + NqFPEngX1->SensorSN());
    status = u"success";
    message = u"Sensor connected";
  } else {
    // The engine may know why, for example a reader that another program holds.
    if (const std::u16string why = NqFPEngX1->LastError(); !why.empty()) {
      log(u"fingerprint", u"Sensor: " + why);
    }
    NqFPEngX1->EndEngine();
    status = u"fail";
    message = u"Sensor not connected";
  }
  FMatchType = 2;
  SendMessage(u"Sensor Initialization", status, message, StateOnly(state));
}

void TWebSocketServerForm::morvaneDisconnectEngine(const std::u16string& state) {
  NqFPEngX1->EndEngine();
  SendMessage(u"Disconnecting Sensor", u"success", u"Sensor disconnected", StateOnly(state));
}

void TWebSocketServerForm::morvaneRegister(const std::u16string& state) {
  NqFPEngX1->CancelEnroll();
  NqFPEngX1->SetEnrollCount(3);
  NqFPEngX1->BeginEnroll();
  SendMessage(u"Start Enrollment", u"success",
              u"Start enrolling fingerprint by touching the sensor",
              [this, &state](TJsonReplyWriter& json) {
                json.Int(u"step_current", NqFPEngX1->EnrollCount() - NqFPEngX1->EnrollIndex());
                json.Int(u"step_total", NqFPEngX1->EnrollCount());
                json.Int(u"step_remainder", NqFPEngX1->EnrollIndex());
                json.String(u"state", state);
              });
}

void TWebSocketServerForm::morvaneCancelRegister(const std::u16string& state) {
  if (NqFPEngX1->IsRegister()) NqFPEngX1->CancelEnroll();
  FMatchType = 1;
  SendMessage(u"Enrollment Cancel", u"success", u"Enrollment process aborted", StateOnly(state));
}

void TWebSocketServerForm::morvaneVerify(const std::u16string& state) {
  if (NqFPEngX1->IsRegister()) NqFPEngX1->CancelEnroll();
  NqFPEngX1->BeginCapture();
  FMatchType = 1;
  SendMessage(u"Verify Mode", u"success", u"Switched to Verify(1:1) mode", StateOnly(state));
}

void TWebSocketServerForm::morvaneIdentify(const std::u16string& state) {
  if (NqFPEngX1->IsRegister()) NqFPEngX1->CancelEnroll();
  NqFPEngX1->BeginCapture();
  FMatchType = 2;
  SendMessage(u"Identify Mode", u"success", u"Switched to Identify(1:N) mode", StateOnly(state));
}
