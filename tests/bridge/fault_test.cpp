#include <algorithm>
#include <optional>
#include <random>
#include <string_view>
#include <thread>

#include "IdTextEncoding.h"
#include "JsonObject.h"
#include "load_fixture.h"

namespace {

using namespace std::chrono_literals;

// Strict UTF-8 (RFC 3629) survives the product's decoder, which turns every malformed sequence
// into U+FFFD, and its encoder unchanged.
bool IsValidUtf8(std::string_view AText) {
  const TIdBytes bytes(AText.begin(), AText.end());
  return IdTextEncodingUTF8().GetBytes(IdTextEncodingUTF8().GetString(bytes)) == bytes;
}

bool IsJsonObject(const std::string& AText) {
  try {
    const auto parsed = TJsonBaseObject::Parse(FromUtf8(AText));
    return dynamic_cast<TJsonObject*>(parsed.get()) != nullptr;
  } catch (const std::exception&) {
    return false;
  }
}

std::string TextFrame(const std::string& APayload) {
  return TWsTestClient::Frame(0x81, APayload);
}

// A masked text frame header announcing ALength in the 64-bit form, with its masking key.
std::string Header64(uint64_t ALength) {
  std::string header = {char(0x81), char(0xFF)};
  for (int shift = 56; shift >= 0; shift -= 8) header.push_back(char(ALength >> shift));
  return header + "\x11\x22\x33\x44";
}

// One misbehaving client: what it sends after the handshake (or instead of it), and what it
// expects back.
struct TGarbageCase {
  std::string Name;
  bool Handshake;
  std::string Bytes;
  bool StayOpen = false;  // keeps the connection until the good client is done
  // Non-empty: the bytes end with a command whose reply carries a state starting so.
  std::string EchoPrefix;
  // The whole state the reply must carry; when absent it must contain U+FFFD.
  std::optional<std::string> Echo;
};

// A case that expects no reply.
TGarbageCase Unanswered(std::string AName, bool AHandshake, std::string ABytes,
                        bool AStayOpen = false) {
  return {std::move(AName), AHandshake, std::move(ABytes), AStayOpen, {}, {}};
}

// A case ending with a command after the handshake, whose reply it waits for.
TGarbageCase Answered(std::string AName, std::string ABytes, std::string AEchoPrefix,
                      std::optional<std::string> AEcho) {
  return {std::move(AName), true, std::move(ABytes), false, std::move(AEchoPrefix),
          std::move(AEcho)};
}

std::vector<TGarbageCase> GarbageCases() {
  std::vector<TGarbageCase> cases;
  std::mt19937 random(20240611);
  const auto randomBytes = [&](size_t ACount) {
    std::string bytes(ACount, '\0');
    for (char& byte : bytes) byte = char(random());
    return bytes;
  };
  for (int i = 0; i < 2; ++i) {
    cases.push_back(Unanswered("random bytes instead of the handshake", false, randomBytes(65536)));
    cases.push_back(Unanswered("random bytes after the handshake", true, randomBytes(65536)));
  }
  // Cut in the first byte, the 16-bit length, the masking key and the payload.
  const std::string frame = TextFrame(Command("verify", std::string(300, 't')));
  for (size_t cut : {1, 3, 6, 50})
    cases.push_back(Unanswered("frame cut after " + std::to_string(cut) + " bytes", true,
                               frame.substr(0, cut)));
  cases.push_back(Unanswered("64-bit length cut short", true, Header64(4096).substr(0, 5)));
  // Lengths no array holds: the payload is never read, so what follows starts a new frame.
  int n = 0;
  for (uint64_t length : {0x80000000ull, 0x7FFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull}) {
    const std::string name = "length " + std::to_string(length);
    const std::string state = "after-length-" + std::to_string(n++);
    cases.push_back(Unanswered(name + ", then silence", true, Header64(length), true));
    cases.push_back(Unanswered(name + ", then close", true, Header64(length)));
    cases.push_back(Answered(name + ", then a command",
                             Header64(length) + TextFrame(Command("verify", state)), state, ""));
  }
  cases.push_back(Unanswered("length 2^31-1, part of its payload, then close", true,
                             Header64(0x7FFFFFFF) + randomBytes(4096)));
  const std::string nested(1000000, '[');
  cases.push_back(Answered("a million nested brackets",
                           TextFrame(nested) + TextFrame(Command("verify", "after-nesting")),
                           "after-nesting", ""));
  cases.push_back(Answered("a million nested brackets as the state",
                           TextFrame(R"({"act":"verify","state":)" + nested + "}") +
                               TextFrame(Command("verify", "after-nested-state")),
                           "after-nested-state", ""));
  n = 0;
  for (const std::string bad :
       {"\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF\xFE", "ok\xE2\x82"}) {
    const std::string prefix = "utf8-" + std::to_string(n++) + ":";
    cases.push_back(Answered("invalid UTF-8 " + Printable(bad) + " in the state",
                             TextFrame(Command("verify", prefix + bad)), prefix, std::nullopt));
  }
  const struct {
    std::string Escaped, Echo;
  } surrogates[] = {
      {R"(\ud800)", "\xEF\xBF\xBD"},
      {R"(x\udc00y)", "x\xEF\xBF\xBDy"},
      {R"(\udc00\ud800)", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {R"(end\ud83d)", "end\xEF\xBF\xBD"},
      {R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
  };
  n = 0;
  for (const auto& s : surrogates) {
    const std::string prefix = "surrogate-" + std::to_string(n++) + ":";
    cases.push_back(Answered("state " + s.Escaped, TextFrame(Command("verify", prefix + s.Escaped)),
                             prefix, s.Echo));
  }
  return cases;
}

// Whether the reply AFrame to a garbage case carries the state the case expects.
bool EchoAsExpected(const TGarbageCase& ACase, const std::string& AFrame) {
  if (ACase.Echo)
    return AFrame.find(StateMember(ACase.EchoPrefix + *ACase.Echo)) != std::string::npos;
  return AFrame.find("\xEF\xBF\xBD") != std::string::npos;
}

TEST_F(LoadTest, GarbageOnManyConnectionsLeavesTheServerAnsweringWithWellFormedText) {
  const std::vector<TGarbageCase> cases = GarbageCases();
  TFailures failures;
  const TFrameCheck wellFormed = [&](const std::string& AFrame) {
    if (!IsValidUtf8(AFrame))
      failures.Add("malformed UTF-8: " + Printable(AFrame));
    else if (!IsJsonObject(AFrame))
      failures.Add("not a JSON object: " + AFrame.substr(0, 80));
  };
  auto good = Connect();
  const long peakBefore = PeakResidentKiB();
  std::vector<std::string> goodFrames;  // the good client's thread's until it has ended
  std::atomic<int> casesSent{0}, threadsDone{0};
  std::atomic<bool> goodDone{false};
  {
    std::vector<std::jthread> threads;
    for (const TGarbageCase& c : cases)
      threads.emplace_back([&](std::stop_token AStop) {
        try {
          TWsTestClient client(Port, c.Handshake);
          client.SendRaw(c.Bytes);
          if (!c.EchoPrefix.empty()) {
            const auto echo = ReceiveFrameWith(client, "\"state\":\"" + c.EchoPrefix, wellFormed);
            if (!echo)
              failures.Add(c.Name + ": no reply");
            else if (!EchoAsExpected(c, *echo))
              failures.Add(c.Name + ": reply " + Printable(*echo));
          }
          ++casesSent;
          const auto end = std::chrono::steady_clock::now() + 120s;
          while (c.StayOpen && !goodDone && !AStop.stop_requested() &&
                 std::chrono::steady_clock::now() < end)
            if (!client.NothingWithin(20ms)) wellFormed(client.ReceiveText().value_or(""));
        } catch (const std::exception& e) {
          ++casesSent;
          failures.Add(c.Name + ": " + e.what());
        }
        ++threadsDone;
      });
    threads.emplace_back([&](std::stop_token AStop) {
      // Commands until every case has been sent, then one more, whose reply comes after every
      // reply to a case.
      for (int round = 0; round < 100000 && !AStop.stop_requested(); ++round) {
        const bool last = casesSent == int(cases.size());
        const std::string state = "good-" + std::to_string(round);
        try {
          good->SendText(Command("identify", state));
          if (!ReceiveReplyTo(*good, state, [&](const std::string& AFrame) {
                wellFormed(AFrame);
                goodFrames.push_back(AFrame);
              })) {
            failures.Add("no reply to " + state);
            break;
          }
        } catch (const std::exception& e) {
          failures.Add(state + ": " + e.what());
          break;
        }
        if (last) break;
      }
      goodDone = true;
      ++threadsDone;
    });
    EXPECT_TRUE(PumpUntil([&] { return threadsDone == int(cases.size()) + 1; }, 150s));
  }
  auto seenFailures = failures.Take();
  EXPECT_TRUE(seenFailures.empty()) << Joined(seenFailures);
  // Announced lengths up to 2^31-1 must cost nothing until their bytes arrive.
  EXPECT_LT(PeakResidentKiB() - peakBefore, 1024 * 1024) << "KiB";
  for (const TGarbageCase& c : cases) {
    if (c.EchoPrefix.empty()) continue;
    const bool seen = std::any_of(goodFrames.begin(), goodFrames.end(), [&](const auto& AFrame) {
      return AFrame.find("\"state\":\"" + c.EchoPrefix) != std::string::npos;
    });
    EXPECT_TRUE(seen) << c.Name << ": the good client missed the reply";
  }
  // Every misbehaving connection has been released; the server still serves newcomers.
  EXPECT_TRUE(PumpUntil([&] { return ContextCount() == 1; }, 30s)) << ContextCount();
  TWsTestClient fresh(Port);
  fresh.SendText(Command("verify", "fresh"));
  EXPECT_TRUE(ReceiveReplyTo(fresh, "fresh", wellFormed));
  seenFailures = failures.Take();
  EXPECT_TRUE(seenFailures.empty()) << Joined(seenFailures);
}

}  // namespace
