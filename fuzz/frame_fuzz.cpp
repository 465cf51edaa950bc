// Arbitrary bytes from an upgraded client, then end-of-stream: reading messages until the input
// is gone must never crash, leak, hang or allocate from a length that did not arrive, and every
// message read must go back out as a well-formed frame.
#include <cstdlib>

#include "IdIOHandlerMemory.h"
#include "WebSocketIOHandlerHelper.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition) std::abort();
}

void CheckEcho(const std::u16string& AText) {
  const TIdBytes utf8 = IdTextEncodingUTF8().GetBytes(AText);
  // Decoding replaced every malformed sequence, so the text survives a second round unchanged.
  Check(IdTextEncodingUTF8().GetString(utf8) == AText);
  TIdIOHandlerMemory echo;
  TWebSocketIOHandlerHelper(echo).WriteString(AText);
  const TIdBytes frame = echo.Written();
  const size_t n = utf8.size();
  const size_t header = n <= 125 ? 2 : n <= 0xFFFF ? 4 : 10;
  Check(frame.size() == header + n && frame[0] == 0x81);
  Check(TIdBytes(frame.begin() + header, frame.end()) == utf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  // Past this, inputs mostly repeat the one-byte-per-read path and only slow the run down.
  if (ASize > 16384) return 0;
  TIdIOHandlerMemory handler;
  // Small inputs sometimes arrive one byte per receive, so reads straddle receive boundaries.
  if (ASize > 0 && ASize < 4096 && (AData[ASize - 1] & 1)) handler.SetReceiveChunk(1);
  handler.Feed(TIdBytes(AData, AData + ASize), true);
  TWebSocketIOHandlerHelper codec(handler);
  // Every read consumes at least one byte until the input is gone.
  for (size_t reads = 0;; ++reads) {
    Check(reads <= ASize + 1);
    const std::u16string text = codec.ReadString();
    if (!text.empty()) CheckEcho(text);
    if (handler.InputBufferIsEmpty() && !handler.Connected()) break;
  }
  return 0;
}
