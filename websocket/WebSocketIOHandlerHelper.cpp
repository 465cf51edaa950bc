#include "WebSocketIOHandlerHelper.h"

#include <cstring>
#include <limits>
#include <optional>

#include "IdTextEncoding.h"

namespace {

constexpr uint8_t kTextFrameStart = 0x81;  // FIN, no RSV bits, opcode 1 (text)
constexpr uint8_t kMaskedLength16 = 0xFE;
constexpr uint8_t kMaskedLength64 = 0xFF;
constexpr int kMaskBit = 0x80;
constexpr size_t kMaxHeaderSize = 10;
constexpr int64_t kMaxMessageSize = 1 << 20;

// Every frame is assembled behind kMaxHeaderSize spare bytes, so the header can be put in front
// of a payload of any length and the whole frame leaves in one Write call. Returns where the
// frame starts in AFrame, or -1 for a frame too long for one write.
int PutHeader(TIdBytes& AFrame) {
  const size_t length = AFrame.size() - kMaxHeaderSize;
  if (AFrame.size() > size_t(std::numeric_limits<int>::max())) return -1;
  uint8_t header[kMaxHeaderSize];
  size_t headerSize = 0;
  header[headerSize++] = kTextFrameStart;
  if (length <= 125) {
    header[headerSize++] = uint8_t(length);
  } else if (length <= 0xFFFF) {
    header[headerSize++] = 126;
    header[headerSize++] = uint8_t(length >> 8);
    header[headerSize++] = uint8_t(length);
  } else {
    header[headerSize++] = 127;
    for (int shift = 56; shift >= 0; shift -= 8) header[headerSize++] = uint8_t(length >> shift);
  }
  const size_t start = kMaxHeaderSize - headerSize;
  std::memcpy(AFrame.data() + start, header, headerSize);
  return static_cast<int>(start);
}

void SendFrame(TIdIOHandler& AIOHandler, TIdBytes& AFrame) {
  const int start = PutHeader(AFrame);
  if (start < 0) return;
  AIOHandler.Write(AFrame.data() + start, static_cast<int>(AFrame.size()) - start);
}

// The payload length announced by the length byte and its extension; negative for a client frame
// without the MASK bit, which is not tested on its own. Nothing when the connection ends first.
std::optional<int64_t> ReadPayloadLength(TIdIOHandler& AIOHandler) {
  uint8_t lengthByte;
  if (!AIOHandler.TryReadByte(lengthByte)) return std::nullopt;
  int extensionBytes = 0;
  if (lengthByte == kMaskedLength16)
    extensionBytes = 2;
  else if (lengthByte == kMaskedLength64)
    extensionBytes = 8;
  else
    return int64_t(lengthByte) - kMaskBit;
  uint64_t length = 0;
  for (int i = 0; i < extensionBytes; ++i) {
    uint8_t byte;
    if (!AIOHandler.TryReadByte(byte)) return std::nullopt;
    length = length << 8 | byte;
  }
  return static_cast<int64_t>(length);
}

}  // namespace

TIdBytes TWebSocketIOHandlerHelper::ReadBytes() {
  // The connection's end is an ordinary outcome, told by the Try reads without an exception; the
  // connection's loop notices it by itself.
  try {
    uint8_t first;
    if (!FIOHandler.TryReadByte(first) || first != kTextFrameStart) return {};
    const std::optional<int64_t> length = ReadPayloadLength(FIOHandler);
    if (!length) return {};
    uint8_t key[4];
    for (uint8_t& keyByte : key)
      if (!FIOHandler.TryReadByte(keyByte)) return {};
    // A length past what an array holds leaves the payload unread; its bytes then count as the
    // start of new frames.
    if (*length < 1 || *length > std::numeric_limits<int32_t>::max()) return {};
    // No command comes near this size: a larger message is refused without being held, so one
    // client cannot make the bridge buffer gigabytes. Its payload is dropped as it arrives, and
    // the next frame is read as usual.
    if (*length > kMaxMessageSize) {
      FIOHandler.TrySkip(static_cast<int>(*length));
      return {};
    }
    // The handler's buffer grows only as bytes arrive; the array is made once they are all there,
    // so an announced length alone costs no memory.
    TIdBytes payload;
    if (!FIOHandler.TryReadBytes(payload, static_cast<int>(*length))) return {};
    for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= key[i & 3];
    return payload;
  } catch (...) {
    // A failed transport: the connection's loop notices it by itself.
    return {};
  }
}

void TWebSocketIOHandlerHelper::WriteBytes(const TIdBytes& ARawData) {
  try {
    TIdBytes frame;
    frame.reserve(kMaxHeaderSize + ARawData.size());
    frame.resize(kMaxHeaderSize);
    frame.insert(frame.end(), ARawData.begin(), ARawData.end());
    SendFrame(FIOHandler, frame);
  } catch (...) {
    // A failed write is the connection loop's to notice.
  }
}

std::u16string TWebSocketIOHandlerHelper::ReadString() {
  try {
    const TIdBytes payload = ReadBytes();
    if (payload.empty()) return {};
    return IdTextEncodingUTF8().GetString(payload);
  } catch (...) {
    return {};
  }
}

void TWebSocketIOHandlerHelper::WriteString(std::u16string_view AStr) {
  try {
    TIdBytes frame;
    frame.reserve(kMaxHeaderSize + AStr.size());
    frame.resize(kMaxHeaderSize);
    TIdUTF8Encoding::AppendUTF8(AStr, frame);
    SendFrame(FIOHandler, frame);
  } catch (...) {
    // A failed write is the connection loop's to notice.
  }
}

TIdBytes TWebSocketIOHandlerHelper::TextFrame(std::u16string_view AStr) {
  TIdBytes frame = StartTextFrame(AStr.size());
  TIdUTF8Encoding::AppendUTF8(AStr, frame);
  return FinishTextFrame(std::move(frame));
}

TIdBytes TWebSocketIOHandlerHelper::StartTextFrame(size_t APayloadCapacity) {
  TIdBytes frame;
  frame.reserve(kMaxHeaderSize + APayloadCapacity);
  frame.resize(kMaxHeaderSize);
  return frame;
}

TIdBytes TWebSocketIOHandlerHelper::FinishTextFrame(TIdBytes AFrame) {
  const int start = PutHeader(AFrame);
  if (start < 0) return {};
  AFrame.erase(AFrame.begin(), AFrame.begin() + start);
  return AFrame;
}
