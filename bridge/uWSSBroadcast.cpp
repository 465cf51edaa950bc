#include "IdWriteGroup.h"
#include "IntegerText.h"
#include "JsonReplyWriter.h"
#include "WebSocketIOHandlerHelper.h"
#include "WebSocketServer.h"
#include "uWSS.h"

namespace {

// Room for what a reply or a scan event takes, so that its frame is allocated once; events with a
// template grow it.
constexpr size_t kMessageCapacity = 320;

}  // namespace

void TWebSocketServerForm::AddStandardJsonData(TJsonReplyWriter& json, std::u16string_view AEvent) {
  std::u16string_view mode;
  if (NqFPEngX1->IsRegister())
    mode = u"enroll";
  else if (FMatchType == 1)
    mode = u"verify";
  else if (FMatchType == 2)
    mode = u"identify";
  else if (FMatchType == 0)
    mode = u"init";
  if (AEvent == u"Enrollment Finish")
    mode = u"enrollfinish";
  else if (AEvent == u"Enrollment Cancel")
    mode = u"enrollcancel";
  json.Int(u"sensor_count", NqFPEngX1->SensorCount());
  json.Int(u"sensor_index", NqFPEngX1->SensorIndex());
  json.String(u"sensor_SN", NqFPEngX1->SensorSN());
  json.String(u"mode", mode);
}

void TWebSocketServerForm::WebSocketSendDataToClients(const std::u16string& JsonStr) {
  // Encoded and framed once; every client gets the same bytes.
  SendFrameToClients(TWebSocketIOHandlerHelper::TextFrame(JsonStr));
}

void TWebSocketServerForm::SendFrameToClients(const TIdBytes& AFrame) {
  TWebSocketServer* server = FServer.load();
  if (!server) return;
  TIdListLock<TIdContext> contexts(server->Contexts());
  log(u"CLIENT LIST", IntToStr(static_cast<int64_t>(contexts.Items().size())));
  // Every client is written to at once and waited for together: clients that stopped reading
  // hold the list (and the main thread, for sensor events) for one write bound in all, and are
  // then dropped, while the others get the frame without waiting behind them.
  TIdWriteGroup writes(AFrame);
  // Only upgraded connections get frames: a frame before the 101 response would corrupt the
  // client's handshake, and a plain TCP client has no use for them. The server lists them, so
  // connections that never upgraded cost a broadcast nothing. The connected test looks only at
  // what each reader has seen, also on the sender's own connection: receiving there would cost a
  // system call per broadcast and win nothing, as a write to a peer that has just gone is dropped.
  for (TIdIOHandler* handler : server->UpgradedHandlers())
    if (handler->ConnectedWithoutReceiving()) writes.Add(*handler);
  writes.Finish();
}

void TWebSocketServerForm::SendMessage(std::u16string_view AEvent, std::u16string_view AStatus,
                                       std::u16string_view AMessage, const TMembers& AMembers) {
  std::u16string line;
  line.reserve(AEvent.size() + 1 + AStatus.size());
  log(u"fingerprint", line.append(AEvent).append(u" ").append(AStatus));
  TIdBytes frame = TWebSocketIOHandlerHelper::StartTextFrame(kMessageCapacity);
  TJsonReplyWriter json(frame);
  json.String(u"event", AEvent);
  json.String(u"status", AStatus);
  json.String(u"message", AMessage);
  AMembers(json);
  AddStandardJsonData(json, AEvent);
  json.Finish();
  SendFrameToClients(TWebSocketIOHandlerHelper::FinishTextFrame(std::move(frame)));
}
