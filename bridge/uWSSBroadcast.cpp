#include "IdWriteGroup.h"
#include "IntegerText.h"
#include "JsonObject.h"
#include "WebSocketIOHandlerHelper.h"
#include "WebSocketServer.h"
#include "uWSS.h"

void TWebSocketServerForm::AddStandardJsonData(TJsonObject& json) {
  std::u16string mode;
  if (NqFPEngX1->IsRegister())
    mode = u"enroll";
  else if (FMatchType == 1)
    mode = u"verify";
  else if (FMatchType == 2)
    mode = u"identify";
  else if (FMatchType == 0)
    mode = u"init";
  const std::u16string event = json.GetString(u"event");
  if (event == u"Enrollment Finish")
    mode = u"enrollfinish";
  else if (event == u"Enrollment Cancel")
    mode = u"enrollcancel";
  json.SetInt(u"sensor_count", NqFPEngX1->SensorCount());
  json.SetInt(u"sensor_index", NqFPEngX1->SensorIndex());
  json.SetString(u"sensor_SN", NqFPEngX1->SensorSN());
  json.SetString(u"mode", mode);
}

void TWebSocketServerForm::WebSocketSendDataToClients(const std::u16string& JsonStr) {
  TWebSocketServer* server = FServer.load();
  if (!server) return;
  // Encoded and framed once; every client gets the same bytes.
  const TIdBytes frame = TWebSocketIOHandlerHelper::TextFrame(JsonStr);
  TIdListLock<TIdContext> contexts(server->Contexts());
  log(u"CLIENT LIST", IntToStr(static_cast<int64_t>(contexts.Items().size())));
  // Every client is written to at once and waited for together: clients that stopped reading
  // hold the list (and the main thread, for sensor events) for one write bound in all, and are
  // then dropped, while the others get the frame without waiting behind them.
  TIdWriteGroup writes(frame);
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
  TJsonObject json;
  // Room for the three below, the four standard members and one of the message's own, which is
  // what the command replies hold.
  json.Reserve(8);
  // A new object has none of these names yet: they are appended without looking for them.
  json.AddItem(u"event").SetString(AEvent);
  json.AddItem(u"status").SetString(AStatus);
  json.AddItem(u"message").SetString(AMessage);
  AMembers(json);
  AddStandardJsonData(json);
  WebSocketSendDataToClients(json.ToString());
}
