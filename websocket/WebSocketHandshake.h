#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "IdHashSHA1.h"
#include "IdIOHandler.h"

// Header name to value. Names compare exactly, code unit by code unit; a repeated name keeps the
// last value.
using TWebSocketHeaders = std::map<std::u16string, std::u16string, std::less<>>;

// Parses the header lines of an HTTP request. Lines end at CR LF only; a line holding ": " gives
// the trimmed text before its first ": " as the name and the trimmed text up to the next ": " (or
// the end) as the value. Other lines (the request line, the blank line) add nothing.
TWebSocketHeaders HeadersParse(std::u16string_view AMsg);

// The Sec-WebSocket-Accept value for a client key: Base64 of the SHA-1 of the key and the
// protocol's fixed GUID, hashed as 7-bit ASCII.
std::string WebSocketAcceptValue(std::u16string_view AKey, const TIdHashSHA1& AHash);

// One attempt at the opening handshake on a connection still waiting for it: waits up to 10 ms
// for input, takes every buffered byte, and answers an upgrade request with the 101 response and
// Tag 1. Anything else is dropped without an answer. Raises nothing; true when upgraded.
bool WebSocketHandshakeStep(TIdIOHandler& AIOHandler, const TIdHashSHA1& AHash);

// The two halves of WebSocketHandshakeStep, for a caller that must do something between them.
// The first waits, takes the buffered bytes and gives the 101 response when they hold an upgrade
// request; the second marks the connection upgraded and writes the response as one step under
// the connection's write lock (which the caller may already hold: it is re-entrant). Neither
// raises; a failed write is ignored.
std::optional<std::string> WebSocketUpgradeResponse(TIdIOHandler& AIOHandler,
                                                    const TIdHashSHA1& AHash);
void WebSocketUpgrade(TIdIOHandler& AIOHandler, const std::string& AResponse);
