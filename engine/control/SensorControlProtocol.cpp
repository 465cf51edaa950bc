#include "SensorControlProtocol.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace {

std::vector<std::string_view> SplitWords(std::string_view ALine) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start < ALine.size()) {
    start = ALine.find_first_not_of(" \t", start);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(ALine.find_first_of(" \t", start), ALine.size());
    words.push_back(ALine.substr(start, end - start));
    start = end;
  }
  return words;
}

// Plain decimal digits only: no sign, no blanks, no trailing characters.
std::optional<int32_t> ParseNumber(std::string_view AWord, int32_t AMin, int32_t AMax) {
  if (AWord.empty() || AWord.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(AWord.data(), AWord.data() + AWord.size(), value);
  if (error != std::errc() || end != AWord.data() + AWord.size() || value < AMin || value > AMax) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

TSensorCommand ParseTouch(const std::vector<std::string_view>& AWords) {
  if (AWords.size() < 2) return TMalformedCommand{"touch needs a finger number"};
  TTouchCommand touch;
  const auto finger = ParseNumber(AWords[1], 1, INT32_MAX);
  if (!finger) return TMalformedCommand{"finger must be a positive integer"};
  touch.Finger = *finger;
  std::size_t next = 2;
  if (next < AWords.size() && AWords[next] != "suspicious") {
    const auto quality = ParseNumber(AWords[next], 0, 100);
    if (!quality) return TMalformedCommand{"quality must be an integer from 0 to 100"};
    touch.Quality = *quality;
    ++next;
  }
  if (next < AWords.size() && AWords[next] == "suspicious") {
    touch.Suspicious = true;
    ++next;
  }
  if (next < AWords.size()) return TMalformedCommand{"unexpected words after touch"};
  return touch;
}

std::string_view ClassName(int32_t AQualityClass) {
  if (AQualityClass == kQualityClassSuspicious) return "suspicious";
  return AQualityClass == kQualityClassGood ? "good" : "poor";
}

}  // namespace

TSensorCommand ParseSensorCommand(std::string_view ALine) {
  if (ALine.ends_with('\r')) ALine.remove_suffix(1);
  const std::vector<std::string_view> words = SplitWords(ALine);
  if (words.empty()) return TMalformedCommand{"empty command"};
  const std::string_view verb = words[0];
  if (verb == "touch") return ParseTouch(words);
  if (verb != "unplug" && verb != "plug" && verb != "status" && verb != "help") {
    return TMalformedCommand{"unknown command, try help"};
  }
  if (words.size() > 1) return TMalformedCommand{"unexpected words after " + std::string(verb)};
  if (verb == "unplug") return TPlugCommand{false};
  if (verb == "plug") return TPlugCommand{true};
  if (verb == "status") return TStatusCommand{};
  return THelpCommand{};
}

std::string ErrorAnswer(std::string_view AReason) {
  return "error " + std::string(AReason);
}

std::string TouchAnswer(const TTouchResult& AResult) {
  const std::string image = " quality=" + std::to_string(AResult.Quality) +
                            " class=" + std::string(ClassName(AResult.QualityClass));
  const std::string due = " due=" + std::to_string(AResult.EnrollDue);
  switch (AResult.Outcome) {
    case TTouchOutcome::IgnoredUnplugged:
      return ErrorAnswer("sensor unplugged");
    case TTouchOutcome::IgnoredEngineOff:
      return ErrorAnswer("engine not initialised");
    case TTouchOutcome::IgnoredReaderInUse:
      return ErrorAnswer(
          "the simulated sensor is not in use: Tessiva drives a fingerprint reader (for "
          "libfprint's virtual one, use tessiva-sensor press FILE or press-synthetic FINGER)");
    case TTouchOutcome::Captured:
      return "ok captured" + image;
    case TTouchOutcome::EnrollPressCounted:
      return "ok enroll press counted" + image + due;
    case TTouchOutcome::EnrollPressNotCounted:
      return "ok enroll press not counted" + image + due;
    case TTouchOutcome::EnrollFinished:
      return "ok enroll finished" + image;
    case TTouchOutcome::EnrollFailed:
      return "ok enroll failed, finger differs from the first press" + image;
    case TTouchOutcome::Superseded:
      break;
  }
  return ErrorAnswer("touch dropped, the engine changed mode meanwhile");
}

std::string StatusAnswer(const TSensorStatus& AStatus) {
  return std::string("ok plugged=") + (AStatus.Plugged ? "yes" : "no") +
         " engine=" + (AStatus.EngineOn ? "on" : "off") +
         " enrolling=" + (AStatus.Enrolling ? "yes" : "no") +
         " due=" + std::to_string(AStatus.EnrollDue) +
         " capturing=" + (AStatus.Capturing ? "yes" : "no");
}

std::string PlugAnswer(bool APlugged) {
  return APlugged ? "ok plugged" : "ok unplugged";
}

std::string HelpAnswer() {
  return "ok commands: touch FINGER [QUALITY] [suspicious] (QUALITY 0..100, default 80, below 50 "
         "poor) | unplug | plug | status | help";
}
