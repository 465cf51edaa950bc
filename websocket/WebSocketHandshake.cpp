#include "WebSocketHandshake.h"

#include "Base64.h"

namespace {

constexpr std::u16string_view kLineBreak = u"\r\n";
constexpr std::u16string_view kNameSeparator = u": ";
constexpr std::u16string_view kAcceptGUID = u"258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr int kRequestWaitMSec = 10;

std::u16string_view Trim(std::u16string_view AText) {
  while (!AText.empty() && AText.front() <= u' ') AText.remove_prefix(1);
  while (!AText.empty() && AText.back() <= u' ') AText.remove_suffix(1);
  return AText;
}

void ParseLine(std::u16string_view ALine, TWebSocketHeaders& AHeaders) {
  const size_t nameEnd = ALine.find(kNameSeparator);
  if (nameEnd == std::u16string_view::npos) return;
  std::u16string_view value = ALine.substr(nameEnd + kNameSeparator.size());
  value = value.substr(0, value.find(kNameSeparator));
  AHeaders.insert_or_assign(std::u16string(Trim(ALine.substr(0, nameEnd))),
                            std::u16string(Trim(value)));
}

std::u16string TakeRequestText(TIdIOHandler& AIOHandler) {
  try {
    TIdBytes bytes;
    AIOHandler.InputBuffer().ExtractToBytes(bytes, -1);
    return IdTextEncodingUTF8().GetString(bytes);
  } catch (...) {
    return {};
  }
}

bool IsUpgradeRequest(const TWebSocketHeaders& AHeaders) {
  const auto upgrade = AHeaders.find(std::u16string_view(u"Upgrade"));
  return upgrade != AHeaders.end() && upgrade->second == u"websocket" &&
         AHeaders.contains(std::u16string_view(u"Sec-WebSocket-Key"));
}

}  // namespace

TWebSocketHeaders HeadersParse(std::u16string_view AMsg) {
  TWebSocketHeaders headers;
  for (;;) {
    const size_t lineEnd = AMsg.find(kLineBreak);
    ParseLine(AMsg.substr(0, lineEnd), headers);
    if (lineEnd == std::u16string_view::npos) break;
    AMsg.remove_prefix(lineEnd + kLineBreak.size());
  }
  return headers;
}

std::string WebSocketAcceptValue(std::u16string_view AKey, const TIdHashSHA1& AHash) {
  std::u16string keyed(AKey);
  keyed += kAcceptGUID;
  const TIdHashSHA1::TDigest digest = AHash.HashString(keyed);
  return Base64Encode(digest.data(), digest.size());
}

std::optional<std::string> WebSocketUpgradeResponse(TIdIOHandler& AIOHandler,
                                                    const TIdHashSHA1& AHash) {
  try {
    AIOHandler.CheckForDataOnSource(kRequestWaitMSec);
    if (AIOHandler.InputBufferIsEmpty()) return std::nullopt;
    // Everything buffered is examined once: a refused request's bytes are gone for good.
    const TWebSocketHeaders headers = HeadersParse(TakeRequestText(AIOHandler));
    if (!IsUpgradeRequest(headers)) return std::nullopt;
    const std::string accept = WebSocketAcceptValue(
        headers.find(std::u16string_view(u"Sec-WebSocket-Key"))->second, AHash);
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           accept + "\r\n\r\n";
  } catch (...) {
    return std::nullopt;
  }
}

void WebSocketUpgrade(TIdIOHandler& AIOHandler, const std::string& AResponse) {
  try {
    // Marked upgraded and answered under the connection's write lock: a broadcast that sees the
    // mark writes only after the response, and a client holding the response misses nothing
    // broadcast after it. One Write call, so no other frame can split the response either.
    auto writes = AIOHandler.LockWrites();
    AIOHandler.Tag = 1;
    AIOHandler.Write(reinterpret_cast<const uint8_t*>(AResponse.data()),
                     static_cast<int>(AResponse.size()));
  } catch (...) {
    // The connection's loop finds a broken connection by itself.
  }
}

bool WebSocketHandshakeStep(TIdIOHandler& AIOHandler, const TIdHashSHA1& AHash) {
  const std::optional<std::string> response = WebSocketUpgradeResponse(AIOHandler, AHash);
  if (!response) return false;
  WebSocketUpgrade(AIOHandler, *response);
  return true;
}
