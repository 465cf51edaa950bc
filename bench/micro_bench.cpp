// Micro benchmarks of the hot pieces of one command's road: JSON parse and compact text (beside
// RapidJSON on the same documents), the handshake's SHA-1 and Base64, frame encode and decode, and
// the reader's way through garbage.
// The JSON documents are the "verify" command and a 4 KiB "Enrollment Finish" event with its
// template. Ours parses UTF-16 text; RapidJSON is shown on UTF-8 text, its usual use, and on the
// same UTF-16 text.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Base64.h"
#include "IdHashSHA1.h"
#include "IdIOHandlerMemory.h"
#include "IdTextEncoding.h"
#include "JsonBaseObject.h"
#include "WebSocketIOHandlerHelper.h"

namespace {

using TUtf16Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;
using TUtf16Buffer = rapidjson::GenericStringBuffer<rapidjson::UTF16<char16_t>>;
using TUtf16Writer =
    rapidjson::Writer<TUtf16Buffer, rapidjson::UTF16<char16_t>, rapidjson::UTF16<char16_t>>;

const std::string& CommandText() {
  static const std::string text = R"({"act":"verify","state":"1712345678901"})";
  return text;
}

// An "Enrollment Finish" event of exactly 4096 bytes; its template is Base64 text.
const std::string& EventText() {
  static const std::string text = [] {
    const std::string head =
        R"({"event":"Enrollment Finish","status":"success","message":"Fingerprint enrollment successful","state":"1712345678901","template":")";
    const std::string tail =
        R"(","sensor_count":1,"sensor_index":0,"sensor_SN":"TSV-SIM-000001","mode":"enrollfinish"})";
    std::string templ;
    uint32_t seed = 12345;
    while (templ.size() < 4096 - head.size() - tail.size()) {
      seed = seed * 1103515245 + 12345;
      templ.push_back(
          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[seed >> 26]);
    }
    return head + templ + tail;
  }();
  return text;
}

std::u16string Utf16(const std::string& AText) {
  return IdTextEncodingUTF8().GetString(reinterpret_cast<const uint8_t*>(AText.data()),
                                        AText.size());
}

void OursParse(benchmark::State& AState, const std::string& AText) {
  const std::u16string text = Utf16(AText);
  for (auto _ : AState) {
    auto document = TJsonBaseObject::Parse(text);
    benchmark::DoNotOptimize(document.get());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

void OursToJSON(benchmark::State& AState, const std::string& AText) {
  const auto document = TJsonBaseObject::Parse(Utf16(AText));
  if (document->ToJSON() != Utf16(AText)) AState.SkipWithError("ToJSON differs from the input");
  for (auto _ : AState) {
    std::u16string json = document->ToJSON();
    benchmark::DoNotOptimize(json.data());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

void RapidParseUtf8(benchmark::State& AState, const std::string& AText) {
  for (auto _ : AState) {
    rapidjson::Document document;
    document.Parse(AText.data(), AText.size());
    benchmark::DoNotOptimize(&document);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

void RapidParseUtf16(benchmark::State& AState, const std::string& AText) {
  const std::u16string text = Utf16(AText);
  for (auto _ : AState) {
    TUtf16Document document;
    document.Parse(text.c_str());
    benchmark::DoNotOptimize(&document);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

void RapidToJSONUtf8(benchmark::State& AState, const std::string& AText) {
  rapidjson::Document document;
  document.Parse(AText.data(), AText.size());
  for (auto _ : AState) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

void RapidToJSONUtf16(benchmark::State& AState, const std::string& AText) {
  const std::u16string text = Utf16(AText);
  TUtf16Document document;
  document.Parse(text.c_str());
  for (auto _ : AState) {
    TUtf16Buffer buffer;
    TUtf16Writer writer(buffer);
    document.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(AText.size()));
}

// The sample key of RFC 6455, as a handshake hashes it.
const std::u16string kKeyedHandshake =
    u"dGhlIHNhbXBsZSBub25jZQ==258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

void Sha1HandshakeKey(benchmark::State& AState) {
  const TIdHashSHA1 hash;
  for (auto _ : AState) {
    auto digest = hash.HashString(kKeyedHandshake);
    benchmark::DoNotOptimize(digest.data());
  }
}

void Base64HandshakeDigest(benchmark::State& AState) {
  const auto digest = TIdHashSHA1().HashString(kKeyedHandshake);
  if (Base64Encode(digest.data(), digest.size()) != "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=")
    AState.SkipWithError("wrong accept value");
  for (auto _ : AState) {
    std::string accept = Base64Encode(digest.data(), digest.size());
    benchmark::DoNotOptimize(accept.data());
  }
}

TIdBytes Payload(int64_t ASize) {
  TIdBytes payload(static_cast<size_t>(ASize));
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t('a' + i % 26);
  return payload;
}

void FrameEncode(benchmark::State& AState) {
  const TIdBytes payload = Payload(AState.range(0));
  TIdIOHandlerMemory handler;
  TWebSocketIOHandlerHelper codec(handler);
  for (auto _ : AState) {
    codec.WriteBytes(payload);
    TIdBytes frame = handler.TakeWritten();
    if (frame.size() <= payload.size()) AState.SkipWithError("frame not written");
    benchmark::DoNotOptimize(frame.data());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * AState.range(0));
}

// A client frame: masked, with the shortest length form.
TIdBytes MaskedFrame(const TIdBytes& APayload) {
  const size_t n = APayload.size();
  TIdBytes frame;
  frame.reserve(n + 14);
  frame.push_back(0x81);
  if (n <= 125) {
    frame.push_back(uint8_t(0x80 | n));
  } else if (n <= 0xFFFF) {
    frame.push_back(0xFE);
    for (int shift = 8; shift >= 0; shift -= 8) frame.push_back(uint8_t(n >> shift));
  } else {
    frame.push_back(0xFF);
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(uint8_t(n >> shift));
  }
  const uint8_t key[4] = {0x37, 0xFA, 0x21, 0x3D};
  for (const uint8_t keyByte : key) frame.push_back(keyByte);
  for (size_t i = 0; i < n; ++i) frame.push_back(APayload[i] ^ key[i & 3]);
  return frame;
}

void FrameDecode(benchmark::State& AState) {
  const TIdBytes payload = Payload(AState.range(0));
  const TIdBytes frame = MaskedFrame(payload);
  TIdIOHandlerMemory handler;
  TWebSocketIOHandlerHelper codec(handler);
  for (auto _ : AState) {
    handler.Feed(frame);
    TIdBytes read = codec.ReadBytes();
    if (read.size() != payload.size()) AState.SkipWithError("frame not read");
    benchmark::DoNotOptimize(read.data());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * AState.range(0));
}

// Garbage after a refused frame: the reader moves on one byte per pass, as a connection's loop
// does (a connected test, then one read). The time per byte must not grow with the amount
// buffered.
void GarbageResync(benchmark::State& AState) {
  const TIdBytes garbage(static_cast<size_t>(AState.range(0)), 0x00);
  TIdIOHandlerMemory handler;
  TWebSocketIOHandlerHelper codec(handler);
  for (auto _ : AState) {
    AState.PauseTiming();
    handler.Feed(garbage);
    AState.ResumeTiming();
    for (int64_t pass = 0; pass < AState.range(0); ++pass) {
      handler.Connected();
      benchmark::DoNotOptimize(codec.ReadString());
    }
    if (!handler.InputBufferIsEmpty()) AState.SkipWithError("garbage left over");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * AState.range(0));
}

}  // namespace

BENCHMARK_CAPTURE(OursParse, Command, CommandText());
BENCHMARK_CAPTURE(RapidParseUtf8, Command, CommandText());
BENCHMARK_CAPTURE(RapidParseUtf16, Command, CommandText());
BENCHMARK_CAPTURE(OursParse, Event4KiB, EventText());
BENCHMARK_CAPTURE(RapidParseUtf8, Event4KiB, EventText());
BENCHMARK_CAPTURE(RapidParseUtf16, Event4KiB, EventText());
BENCHMARK_CAPTURE(OursToJSON, Command, CommandText());
BENCHMARK_CAPTURE(RapidToJSONUtf8, Command, CommandText());
BENCHMARK_CAPTURE(RapidToJSONUtf16, Command, CommandText());
BENCHMARK_CAPTURE(OursToJSON, Event4KiB, EventText());
BENCHMARK_CAPTURE(RapidToJSONUtf8, Event4KiB, EventText());
BENCHMARK_CAPTURE(RapidToJSONUtf16, Event4KiB, EventText());
BENCHMARK(Sha1HandshakeKey);
BENCHMARK(Base64HandshakeDigest);
BENCHMARK(FrameEncode)->Arg(100)->Arg(64 << 10);
BENCHMARK(FrameDecode)->Arg(100)->Arg(64 << 10);
BENCHMARK(GarbageResync)->Arg(2 << 20)->Arg(8 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
