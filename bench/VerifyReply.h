#pragma once

#include <string>
#include <string_view>

// What both reference servers answer: the product's reply to {"act":"verify"}, with the state
// echoed as it came.

// The raw text of the string member "state", escapes kept, so it can be echoed as it came.
inline std::string_view StateOf(std::string_view AMessage) {
  constexpr std::string_view kKey = "\"state\":\"";
  const size_t start = AMessage.find(kKey);
  if (start == std::string_view::npos) return {};
  size_t end = start + kKey.size();
  while (end < AMessage.size() && AMessage[end] != '"') end += AMessage[end] == '\\' ? 2 : 1;
  if (end >= AMessage.size()) return {};
  return AMessage.substr(start + kKey.size(), end - start - kKey.size());
}

inline std::string VerifyReply(std::string_view AState) {
  std::string reply =
      R"({"event":"Verify Mode","status":"success","message":"Switched to Verify(1:1) mode","state":")";
  reply.append(AState);
  reply.append(
      R"(","sensor_count":1,"sensor_index":0,"sensor_SN":"TSV-SIM-000001","mode":"verify"})");
  return reply;
}
