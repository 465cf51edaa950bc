#include "WebSocketHandshake.h"

#include <algorithm>

#include "Base64.h"

namespace {

constexpr std::string_view kAcceptGUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr int kRequestWaitMSec = 10;

// Header parsing works on the decoded text, or directly on the received bytes when they are all
// ASCII: UTF-8 then decodes each byte to the same code unit, so both give the same headers.
template <class C>
std::basic_string_view<C> Trim(std::basic_string_view<C> AText) {
  while (!AText.empty() && AText.front() <= C(' ')) AText.remove_prefix(1);
  while (!AText.empty() && AText.back() <= C(' ')) AText.remove_suffix(1);
  return AText;
}

template <class C>
constexpr C kLineBreak[] = {'\r', '\n'};
template <class C>
constexpr C kNameSeparator[] = {':', ' '};

// Calls AOnHeader(name, value) for every header line, in order; see HeadersParse.
template <class C, class F>
void ForEachHeader(std::basic_string_view<C> AMsg, F AOnHeader) {
  const std::basic_string_view<C> lineBreak(kLineBreak<C>, 2);
  const std::basic_string_view<C> separator(kNameSeparator<C>, 2);
  for (;;) {
    const size_t lineEnd = AMsg.find(lineBreak);
    const std::basic_string_view<C> line = AMsg.substr(0, lineEnd);
    const size_t nameEnd = line.find(separator);
    if (nameEnd != std::basic_string_view<C>::npos) {
      std::basic_string_view<C> value = line.substr(nameEnd + separator.size());
      value = value.substr(0, value.find(separator));
      AOnHeader(Trim(line.substr(0, nameEnd)), Trim(value));
    }
    if (lineEnd == std::basic_string_view<C>::npos) break;
    AMsg.remove_prefix(lineEnd + lineBreak.size());
  }
}

template <class C>
bool Equals(std::basic_string_view<C> AText, std::string_view AAscii) {
  return AText.size() == AAscii.size() && std::equal(AText.begin(), AText.end(), AAscii.begin(),
                                                     [](C a, char b) { return a == C(b); });
}

// The key of an upgrade request (the last "Upgrade" must be "websocket"), or none.
template <class C>
std::optional<std::basic_string_view<C>> UpgradeKey(std::basic_string_view<C> AMsg) {
  std::optional<std::basic_string_view<C>> upgrade, key;
  ForEachHeader(AMsg, [&](std::basic_string_view<C> AName, std::basic_string_view<C> AValue) {
    if (Equals(AName, "Upgrade")) upgrade = AValue;
    if (Equals(AName, "Sec-WebSocket-Key")) key = AValue;
  });
  if (!upgrade || !Equals(*upgrade, "websocket")) return std::nullopt;
  return key;
}

std::string AcceptValueOfAsciiKey(std::string_view AKey, const TIdHashSHA1& AHash) {
  std::string keyed;
  keyed.reserve(AKey.size() + kAcceptGUID.size());
  keyed.append(AKey).append(kAcceptGUID);
  const TIdHashSHA1::TDigest digest =
      AHash.HashBytes(reinterpret_cast<const uint8_t*>(keyed.data()), keyed.size());
  return Base64Encode(digest.data(), digest.size());
}

// The Sec-WebSocket-Accept value the request in ABytes asks for, or none.
std::optional<std::string> AcceptValueOfRequest(const TIdBytes& ABytes, const TIdHashSHA1& AHash) {
  const bool ascii = std::all_of(ABytes.begin(), ABytes.end(), [](uint8_t b) { return b < 0x80; });
  if (ascii) {
    const std::string_view text(reinterpret_cast<const char*>(ABytes.data()), ABytes.size());
    const std::optional<std::string_view> key = UpgradeKey(text);
    if (!key) return std::nullopt;
    return AcceptValueOfAsciiKey(*key, AHash);
  }
  const std::u16string text = IdTextEncodingUTF8().GetString(ABytes);
  const std::optional<std::u16string_view> key = UpgradeKey(std::u16string_view(text));
  if (!key) return std::nullopt;
  return WebSocketAcceptValue(*key, AHash);
}

}  // namespace

TWebSocketHeaders HeadersParse(std::u16string_view AMsg) {
  TWebSocketHeaders headers;
  ForEachHeader(AMsg, [&](std::u16string_view AName, std::u16string_view AValue) {
    headers.insert_or_assign(std::u16string(AName), std::u16string(AValue));
  });
  return headers;
}

std::string WebSocketAcceptValue(std::u16string_view AKey, const TIdHashSHA1& AHash) {
  const TIdBytes key = IdTextEncodingASCII().GetBytes(AKey);
  return AcceptValueOfAsciiKey(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()),
                               AHash);
}

std::optional<std::string> WebSocketUpgradeResponse(TIdIOHandler& AIOHandler,
                                                    const TIdHashSHA1& AHash) {
  try {
    AIOHandler.CheckForDataOnSource(kRequestWaitMSec);
    if (AIOHandler.InputBufferIsEmpty()) return std::nullopt;
    // Everything buffered is examined once: a refused request's bytes are gone for good.
    TIdBytes request;
    AIOHandler.InputBuffer().ExtractToBytes(request, -1);
    const std::optional<std::string> accept = AcceptValueOfRequest(request, AHash);
    if (!accept) return std::nullopt;
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           *accept + "\r\n\r\n";
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
