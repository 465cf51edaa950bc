#include <gtest/gtest.h>

#include <string>

#include "IdIOHandlerMemory.h"
#include "WebSocketHandshake.h"
#include "WebSocketIOHandlerHelper.h"

namespace {

const std::string kSampleRequest =
    "GET /chat HTTP/1.1\r\n"
    "Host: server.example.com\r\n"
    "Upgrade: websocket\r\n"
    "Connection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
    "Origin: http://example.com\r\n"
    "Sec-WebSocket-Protocol: chat, superchat\r\n"
    "Sec-WebSocket-Version: 13\r\n"
    "\r\n";

std::string ResponseFor(const std::string& AAccept) {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         AAccept + "\r\n\r\n";
}

const std::string kSampleResponse = ResponseFor("s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");

std::string Text(const TIdBytes& ABytes) {
  return std::string(ABytes.begin(), ABytes.end());
}

// A connection as the server leaves it after its connect step: waiting for the upgrade request.
struct TPendingConnection {
  TPendingConnection() { Handler.Tag = -1; }
  bool Step(const std::string& ABytes) {
    Handler.Feed(ABytes);
    return WebSocketHandshakeStep(Handler, Hash);
  }
  TIdIOHandlerMemory Handler;
  TIdHashSHA1 Hash;
};

TEST(HeadersParse, SplitsLinesAndNamesExactly) {
  const struct {
    const char* Name;
    std::u16string Message;
    TWebSocketHeaders Expected;
  } cases[] = {
      {"request line and blank line add nothing",
       u"GET / HTTP/1.1\r\nHost: a\r\nUpgrade: websocket\r\n\r\n",
       {{u"Host", u"a"}, {u"Upgrade", u"websocket"}}},
      {"last of repeated names wins", u"K: one\r\nK: two", {{u"K", u"two"}}},
      {"value ends at the next separator",
       u"Upgrade: websocket: extra",
       {{u"Upgrade", u"websocket"}}},
      {"both parts trimmed of spaces and controls", u"\t Name \x01: \t v \x1F", {{u"Name", u"v"}}},
      {"names keep their case",
       u"upgrade: a\r\nUPGRADE: b",
       {{u"upgrade", u"a"}, {u"UPGRADE", u"b"}}},
      {"no space after the colon", u"Upgrade:websocket", {}},
      {"tab after the colon", u"Upgrade:\twebsocket", {}},
      {"bare LF does not end a line", u"A: 1\nB: 2", {{u"A", u"1\nB"}}},
      {"empty value", u"Sec-WebSocket-Key: ", {{u"Sec-WebSocket-Key", u""}}},
      {"empty message", u"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(HeadersParse(c.Message), c.Expected);
  }
}

TEST(Handshake, SampleKeyGivesTheExactResponse) {
  TPendingConnection connection;
  EXPECT_TRUE(connection.Step(kSampleRequest));
  EXPECT_EQ(Text(connection.Handler.Written()), kSampleResponse);
  EXPECT_EQ(connection.Handler.Tag, 1);
  EXPECT_TRUE(connection.Handler.InputBufferIsEmpty());
}

TEST(Handshake, AcceptedRequests) {
  const struct {
    const char* Name;
    std::string Request;
    std::string Accept;
  } cases[] = {
      {"only the two needed headers",
       "GET / HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"second of two keys counts",
       "GET / HTTP/1.1\r\nSec-WebSocket-Key: first\r\nUpgrade: websocket\r\n"
       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"key trimmed", "Upgrade: websocket\r\nSec-WebSocket-Key:   dGhlIHNhbXBsZSBub25jZQ== \t\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"non-ASCII key character hashed as ?",
       "Upgrade: websocket\r\nSec-WebSocket-Key: k\xC3\xA9y\r\n\r\n",
       "yriN9h3PfyDHaitoH3FQ6olgf64="},
      {"empty key", "Upgrade: websocket\r\nSec-WebSocket-Key: \r\n\r\n",
       "Kfh9QIsMVZcl6xEPYxPHzW8SZ8w="},
      {"request line cut short, as after a read took its first byte",
       "ET /chat HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"malformed UTF-8 elsewhere",
       "\xFF\xFE\x80\r\nUpgrade: websocket\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"last Upgrade counts", "Upgrade: h2c\r\nUpgrade: websocket\r\nSec-WebSocket-Key: \r\n",
       "Kfh9QIsMVZcl6xEPYxPHzW8SZ8w="},
      {"second of two keys counts, beside non-ASCII text",
       "X: \xC3\xA9\r\nSec-WebSocket-Key: first\r\nUpgrade: websocket\r\n"
       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
      {"NUL and control bytes around the key",
       std::string("\0\r\nUpgrade: websocket\r\nSec-WebSocket-Key: \x01"
                   "dGhlIHNhbXBsZSBub25jZQ==\x1F\r\n",
                   70),
       "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPendingConnection connection;
    EXPECT_TRUE(connection.Step(c.Request));
    EXPECT_EQ(Text(connection.Handler.Written()), ResponseFor(c.Accept));
    EXPECT_EQ(connection.Handler.Tag, 1);
  }
}

// Each refused attempt answers nothing, keeps the connection pending and drops what it examined;
// a correct request on the same connection is then accepted.
TEST(Handshake, RefusedRequestsLeaveTheConnectionPending) {
  const struct {
    const char* Name;
    std::string Request;
  } cases[] = {
      {"capital S WebSocket",
       "GET / HTTP/1.1\r\nUpgrade: WebSocket\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"lower-case names",
       "GET / HTTP/1.1\r\nupgrade: websocket\r\nsec-websocket-key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"no space after colon",
       "GET / HTTP/1.1\r\nUpgrade:websocket\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"tab after colon",
       "GET / HTTP/1.1\r\nUpgrade:\twebsocket\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"no key", "GET / HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n"},
      {"plain HTTP request", "GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n"},
      {"last Upgrade is not websocket",
       "Upgrade: websocket\r\nUpgrade: h2c\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"non-ASCII after websocket",
       "Upgrade: websocket\xC3\xA9\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"key only on a line cut by a bare LF",
       "Upgrade: websocket\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"},
      {"LF line endings",
       "GET / HTTP/1.1\nUpgrade: websocket\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPendingConnection connection;
    EXPECT_FALSE(connection.Step(c.Request));
    EXPECT_TRUE(connection.Handler.Written().empty());
    EXPECT_EQ(connection.Handler.Tag, -1);
    EXPECT_TRUE(connection.Handler.InputBufferIsEmpty());
    EXPECT_TRUE(connection.Step(kSampleRequest));
    EXPECT_EQ(Text(connection.Handler.Written()), kSampleResponse);
    EXPECT_EQ(connection.Handler.Tag, 1);
  }
}

TEST(Handshake, PiecesAreNeverJoined) {
  TPendingConnection connection;
  const size_t cut = kSampleRequest.find("WebSocket-Key");
  EXPECT_FALSE(connection.Step(kSampleRequest.substr(0, cut)));
  EXPECT_FALSE(connection.Step(kSampleRequest.substr(cut)));
  EXPECT_TRUE(connection.Handler.Written().empty());
  EXPECT_EQ(connection.Handler.Tag, -1);
}

TEST(Handshake, NothingArrivedIsNoAttempt) {
  TPendingConnection connection;
  EXPECT_FALSE(WebSocketHandshakeStep(connection.Handler, connection.Hash));
  EXPECT_EQ(connection.Handler.Tag, -1);
  EXPECT_TRUE(connection.Step(kSampleRequest));
}

TEST(Handshake, FrameSentWithTheRequestIsLost) {
  TPendingConnection connection;
  const std::string frame =
      "\x81\x85\x01\x02\x03\x04"
      "i`olo";
  EXPECT_TRUE(connection.Step(kSampleRequest + frame));
  EXPECT_TRUE(connection.Handler.InputBufferIsEmpty());
  connection.Handler.FeedEndOfStream();
  EXPECT_EQ(TWebSocketIOHandlerHelper(connection.Handler).ReadString(), u"");
}

// Whichever transport call fails, the step raises nothing; a failed write of the response still
// marks the connection upgraded.
TEST(Handshake, TransportFailuresAreSwallowed) {
  bool sawFailedWrite = false;
  for (int call = 1; call <= 8; ++call) {
    SCOPED_TRACE(call);
    TPendingConnection connection;
    connection.Handler.FailAtCall(call);
    bool upgraded = false;
    EXPECT_NO_THROW(upgraded = connection.Step(kSampleRequest));
    EXPECT_EQ(connection.Handler.Tag, upgraded ? 1 : -1);
    if (upgraded && connection.Handler.Written().empty()) sawFailedWrite = true;
  }
  EXPECT_TRUE(sawFailedWrite);
}

TEST(Handshake, ClosedPeerIsNoAttempt) {
  TPendingConnection connection;
  connection.Handler.FeedEndOfStream();
  EXPECT_FALSE(WebSocketHandshakeStep(connection.Handler, connection.Hash));
  EXPECT_FALSE(WebSocketHandshakeStep(connection.Handler, connection.Hash));
  EXPECT_EQ(connection.Handler.Tag, -1);
}

}  // namespace
