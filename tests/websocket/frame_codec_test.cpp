#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "ClientFrame.h"
#include "IdIOHandlerMemory.h"
#include "WebSocketIOHandlerHelper.h"

namespace {

TIdBytes Bytes(std::initializer_list<int> AValues) {
  TIdBytes bytes;
  for (int v : AValues) bytes.push_back(uint8_t(v));
  return bytes;
}

TIdBytes operator+(TIdBytes ALeft, const TIdBytes& ARight) {
  ALeft.insert(ALeft.end(), ARight.begin(), ARight.end());
  return ALeft;
}

// The example frame of RFC 6455 section 5.7: "Hello", masked with 37 fa 21 3d.
const TIdBytes kMaskedHello =
    Bytes({0x81, 0x85, 0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f, 0x4d, 0x51, 0x58});
const TIdBytes kHelloKeyAndPayload = Bytes({0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f, 0x4d, 0x51, 0x58});

TIdBytes Utf8(std::u16string_view AText) {
  return IdTextEncodingUTF8().GetBytes(AText);
}

// A connection whose peer has sent AInput and closed; Read reports what one
// ReadString returned and how many buffered bytes it consumed.
struct TPeer {
  explicit TPeer(const TIdBytes& AInput) {
    Handler.Feed(AInput, true);
    // Everything into the input buffer, so that its size tells what each read consumed.
    while (Handler.InputBuffer().Size() < int(AInput.size())) Handler.CheckForDataOnSource(0);
  }
  struct TRead {
    std::u16string Text;
    int Consumed;
  };
  TRead Read() {
    const int before = Handler.InputBuffer().Size();
    std::u16string text = Codec.ReadString();
    return {text, before - Handler.InputBuffer().Size()};
  }
  TIdIOHandlerMemory Handler;
  TWebSocketIOHandlerHelper Codec{Handler};
};

TEST(FrameRead, SingleFrames) {
  const struct {
    const char* Name;
    TIdBytes Input;
    std::u16string Text;
  } cases[] = {
      {"masked Hello", kMaskedHello, u"Hello"},
      {"16-bit length form for 5 bytes", Bytes({0x81, 0xFE, 0x00, 0x05}) + kHelloKeyAndPayload,
       u"Hello"},
      {"64-bit length form for 5 bytes",
       Bytes({0x81, 0xFF, 0, 0, 0, 0, 0, 0, 0, 5}) + kHelloKeyAndPayload, u"Hello"},
      {"masked empty frame", Bytes({0x81, 0x80, 1, 2, 3, 4}), u""},
      {"non-ASCII", ClientFrame(0x81, Utf8(u"\u00E9\u20AC\U0001F600")), u"\u00E9\u20AC\U0001F600"},
      {"malformed UTF-8", ClientFrame(0x81, Bytes({0xFF, 'A', 0xC3})), u"\uFFFDA\uFFFD"},
      {"ASCII, then non-ASCII", ClientFrame(0x81, Utf8(u"ab\u00E9c")), u"ab\u00E9c"},
      {"ASCII, then malformed UTF-8", ClientFrame(0x81, Bytes({'A', 0xC3})), u"A\uFFFD"},
      {"126 bytes", ClientFrame(0x81, TIdBytes(126, 'x')), std::u16string(126, u'x')},
      {"65536 bytes", ClientFrame(0x81, TIdBytes(65536, 'y')), std::u16string(65536, u'y')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPeer peer(c.Input);
    const TPeer::TRead read = peer.Read();
    EXPECT_EQ(read.Text, c.Text);
    EXPECT_EQ(read.Consumed, int(c.Input.size()));
  }
}

// Everything but a masked text frame: each read consumes what the codec's rules say, and nothing
// is ever written back (no pong, no close frame).
TEST(FrameRead, RefusedFramesAreConsumedAsTheRulesSay) {
  const TIdBytes overLimit = ClientFrame(0x81, TIdBytes((1 << 20) + 1, 'x'));
  const struct {
    const char* Name;
    TIdBytes Input;
    std::vector<TPeer::TRead> Reads;
  } cases[] = {
      {"close frame, one byte per read",
       ClientFrame(0x88, Bytes({0x03, 0xE8})),
       {{u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}}},
      {"close frame with 0x81 in its key: taken as a frame start",
       Bytes({0x88, 0x82, 0x81, 0x80, 0x00, 0x00, 0x03, 0xE8}),
       {{u"", 1}, {u"", 1}, {u"", 6}}},
      {"ping", ClientFrame(0x89, {}), {{u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}}},
      {"unmasked text frame: four payload bytes taken as the key",
       Bytes({0x81, 0x05, 'H', 'e', 'l', 'l', 'o'}),
       {{u"", 6}, {u"", 1}}},
      {"RSV1 set",
       Bytes({0xC1, 0x80, 1, 2, 3, 4}),
       {{u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"", 1}}},
      {"binary frame then a text frame",
       ClientFrame(0x82, Bytes({'z', 'z'})) + kMaskedHello,
       {{u"", 1},
        {u"", 1},
        {u"", 1},
        {u"", 1},
        {u"", 1},
        {u"", 1},
        {u"", 1},
        {u"", 1},
        {u"Hello", 11}}},
      {"64-bit length above 2^31-1: payload left to be read as new frames",
       Bytes({0x81, 0xFF, 0, 0, 0, 0, 0x80, 0, 0, 0, 1, 2, 3, 4}) + kMaskedHello,
       {{u"", 14}, {u"Hello", 11}}},
      {"text frame over 1 MiB: its payload read and dropped, the next frame read as usual",
       overLimit + kMaskedHello,
       {{u"", int(overLimit.size())}, {u"Hello", 11}}},
      {"negative 64-bit length",
       Bytes({0x81, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4}),
       {{u"", 14}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPeer peer(c.Input);
    for (size_t i = 0; i < c.Reads.size(); ++i) {
      SCOPED_TRACE(i);
      const TPeer::TRead read = peer.Read();
      EXPECT_EQ(read.Text, c.Reads[i].Text);
      EXPECT_EQ(read.Consumed, c.Reads[i].Consumed);
    }
    EXPECT_TRUE(peer.Handler.InputBufferIsEmpty());
    EXPECT_TRUE(peer.Handler.Written().empty());
  }
}

TEST(FrameRead, FragmentedMessageIsNeverDelivered) {
  TPeer peer(ClientFrame(0x01, Utf8(u"Hel")) + ClientFrame(0x80, Utf8(u"lo")));
  while (!peer.Handler.InputBufferIsEmpty()) EXPECT_EQ(peer.Read().Text, u"");
}

TEST(FrameRead, BytesArrivingOneAtATime) {
  TIdIOHandlerMemory handler;
  handler.SetReceiveChunk(1);
  const TIdBytes payload = Utf8(std::u16string(300, u'\u00E9'));
  handler.Feed(ClientFrame(0x81, payload) + kMaskedHello, true);
  TWebSocketIOHandlerHelper codec(handler);
  EXPECT_EQ(codec.ReadString(), std::u16string(300, u'\u00E9'));
  EXPECT_EQ(codec.ReadString(), u"Hello");
  EXPECT_EQ(codec.ReadString(), u"");
}

TEST(FrameRead, PeerClosingMidFrame) {
  {
    SCOPED_TRACE("in the payload: the payload stays unread");
    TPeer peer(Bytes({0x81, 0x85, 0x37, 0xfa, 0x21, 0x3d, 0x7f, 0x9f}));
    EXPECT_EQ(peer.Read().Text, u"");
    EXPECT_EQ(peer.Handler.InputBuffer().Size(), 2);
  }
  {
    SCOPED_TRACE("in the header");
    TPeer peer(Bytes({0x81, 0xFE, 0x00}));
    EXPECT_EQ(peer.Read().Text, u"");
    EXPECT_TRUE(peer.Handler.InputBufferIsEmpty());
  }
  {
    SCOPED_TRACE("nothing left at all");
    TPeer peer({});
    EXPECT_EQ(peer.Read().Text, u"");
    EXPECT_EQ(peer.Read().Text, u"");
  }
}

TEST(FrameRead, AnnouncedLengthAloneAllocatesNothing) {
  if (!AllocationProbeAvailable()) GTEST_SKIP() << "operator new belongs to the sanitizer runtime";
  TPeer peer(Bytes({0x81, 0xFF, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 'a', 'b'}));
  ResetLargestAllocation();
  EXPECT_EQ(peer.Read().Text, u"");
  EXPECT_LT(LargestAllocation(), size_t(1) << 20);
  // What arrived of the refused payload before the peer closed has been dropped.
  EXPECT_TRUE(peer.Handler.InputBufferIsEmpty());
}

// A message above 1 MiB is dropped as it arrives: the reader never holds more of it than one
// receive, and the frame after it is read normally.
TEST(FrameRead, MessageOverTheLimitIsNeverHeldWhole) {
  TIdIOHandlerMemory handler;
  handler.Feed(ClientFrame(0x81, TIdBytes(5 << 20, 'x')) + kMaskedHello);
  TWebSocketIOHandlerHelper codec(handler);
  ResetLargestAllocation();
  EXPECT_EQ(codec.ReadString(), u"");
  if (AllocationProbeAvailable()) {
    EXPECT_LT(LargestAllocation(), size_t(1) << 20);
  }
  EXPECT_LT(handler.InputBuffer().Capacity(), size_t(1) << 20);
  EXPECT_EQ(codec.ReadString(), u"Hello");
}

TEST(FrameRead, LargeMaskedPayloadRoundTrips) {
  TIdBytes payload(1 << 20);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t('a' + i % 26);
  TPeer peer(ClientFrame(0x81, payload));
  EXPECT_EQ(TWebSocketIOHandlerHelper(peer.Handler).ReadBytes(), payload);
}

TIdBytes WrittenFrame(const std::u16string& AText) {
  TIdIOHandlerMemory handler;
  TWebSocketIOHandlerHelper(handler).WriteString(AText);
  return handler.Written();
}

TEST(FrameWrite, LengthForms) {
  const struct {
    size_t Length;
    TIdBytes Header;
  } cases[] = {
      {0, Bytes({0x81, 0x00})},
      {5, Bytes({0x81, 0x05})},
      {125, Bytes({0x81, 0x7D})},
      {126, Bytes({0x81, 0x7E, 0x00, 0x7E})},
      {65535, Bytes({0x81, 0x7E, 0xFF, 0xFF})},
      {65536, Bytes({0x81, 0x7F, 0, 0, 0, 0, 0, 1, 0, 0})},
      {1 << 20, Bytes({0x81, 0x7F, 0, 0, 0, 0, 0, 0x10, 0, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Length);
    TIdBytes payload(c.Length);
    for (size_t i = 0; i < c.Length; ++i) payload[i] = uint8_t('0' + i % 10);
    const TIdBytes expected = c.Header + payload;
    EXPECT_EQ(WrittenFrame(std::u16string(payload.begin(), payload.end())), expected);
    TIdIOHandlerMemory handler;
    TWebSocketIOHandlerHelper(handler).WriteBytes(payload);
    EXPECT_EQ(handler.Written(), expected);
    // A frame made once for many connections is the same frame.
    const TIdBytes frame =
        TWebSocketIOHandlerHelper::TextFrame(std::u16string(payload.begin(), payload.end()));
    EXPECT_EQ(frame, expected);
  }
}

TEST(FrameWrite, TextGoesOutAsUtf8AndTheLengthCountsBytes) {
  EXPECT_EQ(WrittenFrame(u"\u00E9\u20AC\U0001F600"),
            Bytes({0x81, 9, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(WrittenFrame(std::u16string(1, char16_t(0xD800)) + u"x"),
            Bytes({0x81, 4, 0xEF, 0xBF, 0xBD, 'x'}));
  // ASCII first, then what needs the general encoder; a frame for many connections is the same.
  const TIdBytes mixed = Bytes({0x81, 7, 'a', 'b', 0xC3, 0xA9, 0xEF, 0xBF, 0xBD});
  EXPECT_EQ(WrittenFrame(u"ab\u00E9" + std::u16string(1, char16_t(0xDC00))), mixed);
  EXPECT_EQ(TWebSocketIOHandlerHelper::TextFrame(u"ab\u00E9" + std::u16string(1, char16_t(0xDC00))),
            mixed);
  // A non-ASCII character past the first chunks of ASCII, and an ASCII text ending mid-chunk.
  EXPECT_EQ(WrittenFrame(std::u16string(20, u'a') + u"\u00E9" + std::u16string(10, u'b')),
            Bytes({0x81, 32}) + TIdBytes(20, 'a') + Bytes({0xC3, 0xA9}) + TIdBytes(10, 'b'));
  EXPECT_EQ(WrittenFrame(std::u16string(13, u'c')), Bytes({0x81, 13}) + TIdBytes(13, 'c'));
  // 63 characters of two bytes each: the 16-bit length form.
  EXPECT_EQ(WrittenFrame(std::u16string(63, u'\u00E9')).at(1), 0x7E);
}

TEST(FrameWrite, FailedWriteIsDropped) {
  TIdIOHandlerMemory handler;
  handler.FailAtCall(1);
  TWebSocketIOHandlerHelper codec(handler);
  EXPECT_NO_THROW(codec.WriteString(u"lost"));
  EXPECT_TRUE(handler.Written().empty());
  EXPECT_NO_THROW(codec.WriteBytes(Bytes({1, 2, 3})));
  EXPECT_EQ(handler.Written(), Bytes({0x81, 3, 1, 2, 3}));
  handler.Close();
  EXPECT_NO_THROW(codec.WriteString(u"closed"));
  EXPECT_EQ(handler.Written().size(), 5u);
}

}  // namespace
