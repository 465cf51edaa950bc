#pragma once

#include <string>
#include <string_view>

#include "IdIOHandler.h"

// Reads and writes single unfragmented WebSocket text frames on an upgraded connection: masked
// frames from the client, unmasked frames to it. Nothing else is understood: a frame that does not
// start with 0x81 (binary, continuation, close, ping, pong, RSV bits set) is consumed one byte per
// read, no close frame or pong is ever sent, and no operation raises. An empty result means that
// no message was read. A message above 1 MiB is refused too: its payload is read and dropped.
//
// Keeps no state of its own: the stream position is the I/O handler's input buffer. Reads belong
// to the connection's own thread; writes may come from any thread, each frame in one Write call.
class TWebSocketIOHandlerHelper {
 public:
  explicit TWebSocketIOHandlerHelper(TIdIOHandler& AIOHandler) : FIOHandler(AIOHandler) {}

  // The unmasked payload of one text frame, or empty.
  TIdBytes ReadBytes();
  void WriteBytes(const TIdBytes& ARawData);
  // ReadBytes decoded from UTF-8; malformed input decodes to U+FFFD.
  std::u16string ReadString();
  // One text frame with the UTF-8 form of AStr; an unpaired surrogate is sent as U+FFFD.
  void WriteString(std::u16string_view AStr);

  // The whole frame WriteString would send, for writing one text to many connections: the text
  // is encoded and framed once, and the same bytes go to each connection.
  static TIdBytes TextFrame(std::u16string_view AStr);
  // The same for a payload written as UTF-8 straight into the frame's buffer: StartTextFrame
  // gives a buffer with room for the header, the caller appends the payload, FinishTextFrame puts
  // the header in front.
  static TIdBytes StartTextFrame(size_t APayloadCapacity);
  static TIdBytes FinishTextFrame(TIdBytes AFrame);

 private:
  TIdIOHandler& FIOHandler;
};
