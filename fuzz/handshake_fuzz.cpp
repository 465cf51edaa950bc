// Arbitrary bytes as what a new connection receives before its upgrade: header parsing and the
// handshake step must never crash, leak or hang, and must answer exactly the upgrade requests.
#include <cstdlib>
#include <string>

#include "IdIOHandlerMemory.h"
#include "WebSocketHandshake.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition) std::abort();
}

bool IsTrimmed(const std::u16string& AText) {
  return AText.empty() || (AText.front() > u' ' && AText.back() > u' ');
}

// What the step must do with one piece of input, judged from the parsed headers alone.
std::string ExpectedResponse(const TIdBytes& APiece, const TIdHashSHA1& AHash) {
  const TWebSocketHeaders headers = HeadersParse(IdTextEncodingUTF8().GetString(APiece));
  for (const auto& [name, value] : headers) {
    Check(IsTrimmed(name) && IsTrimmed(value));
    Check(name.find(u"\r\n") == std::u16string::npos &&
          value.find(u"\r\n") == std::u16string::npos);
  }
  const auto upgrade = headers.find(std::u16string_view(u"Upgrade"));
  const auto key = headers.find(std::u16string_view(u"Sec-WebSocket-Key"));
  if (upgrade == headers.end() || upgrade->second != u"websocket" || key == headers.end())
    return {};
  const std::string accept = WebSocketAcceptValue(key->second, AHash);
  Check(accept.size() == 28);
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         accept + "\r\n\r\n";
}

// One pass's handshake step over APiece; returns whether the connection is now upgraded.
bool StepOver(TIdIOHandlerMemory& AHandler, const TIdBytes& APiece, bool AEndOfStream,
              const TIdHashSHA1& AHash) {
  AHandler.Feed(APiece, AEndOfStream);
  const std::string expected = ExpectedResponse(APiece, AHash);
  const bool upgraded = WebSocketHandshakeStep(AHandler, AHash);
  const TIdBytes written = AHandler.TakeWritten();
  Check(upgraded == !expected.empty());
  Check(std::string(written.begin(), written.end()) == expected);
  Check(AHandler.Tag == (upgraded ? 1 : -1));
  Check(AHandler.InputBufferIsEmpty());
  return upgraded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const TIdHashSHA1 hash;
  // One receive takes at most 32 KiB, so a longer piece would reach the step in parts.
  if (ASize > 16384) return 0;
  // The first byte picks where the input splits into two pieces arriving on separate passes.
  const size_t cut = ASize == 0 ? 0 : 1 + AData[0] % ASize;
  const TIdBytes first(AData + (ASize ? 1 : 0), AData + cut);
  const TIdBytes second(AData + cut, AData + ASize);

  TIdIOHandlerMemory handler;
  handler.Tag = -1;
  // An empty piece would only wait out the step's 10 ms for nothing.
  if (!first.empty() && StepOver(handler, first, false, hash)) return 0;
  StepOver(handler, second, true, hash);
  return 0;
}
