#include "MatchCommand.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

#include "FingerprintCacheSet.h"
#include "IsoMinutiaeRecord.h"
#include "JsonObject.h"
#include "MinutiaeTemplate.h"
#include "MinutiaeTemplateCodec.h"
#include "ReaderScore.h"
#include "TemplateGallery.h"

namespace {

constexpr int kMatch = 0;
constexpr int kNoMatch = 1;
constexpr int kTrouble = 2;

using TCaches = TFingerprintCacheSet<TPreparedSamples, TMinutiaeTemplateCodec>;

void PrintUsage(std::ostream& AOut) {
  AOut
      << "usage: tessiva-match PROBE TEMPLATE        compare two templates (1:1)\n"
         "       tessiva-match PROBE --gallery FILE  find the probe among FILE's templates (1:N)\n"
         "       tessiva-match --iso TEMPLATE FILE   write TEMPLATE as an ISO/IEC 19794-2:2005\n"
         "                                           finger minutiae record (FILE - : standard "
         "output)\n"
         "       tessiva-match --help | --version\n"
         "Templates are the fingerprint reader's texts (TSF10S:..., TSF10:..., TSF9S:..., "
         "TSF9:...).\n"
         "FILE holds one template per line, each optionally after an id and a blank: ID TEMPLATE.\n"
         "Prints one JSON object; the score and the threshold are the bridge's.\n"
         "exit status: 0 match (or record written), 1 no match, 2 bad usage or input\n";
}

int Usage(std::ostream& AErr) {
  PrintUsage(AErr);
  return kTrouble;
}

// Templates are ASCII; any other byte is kept as a code unit of its own and makes the text no
// template. Ids go through the JSON writer the same way, so their bytes come out unchanged.
std::u16string Widen(std::string_view AText) {
  std::u16string wide;
  for (const char c : AText) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

std::string Narrow(std::u16string_view AText) {
  std::string narrow;
  for (const char16_t c : AText) narrow.push_back(static_cast<char>(c));
  return narrow;
}

// Why AText is no template, with what it is for its caller ("probe: damaged template: ..."); the
// error goes to AErr. True when it is one.
bool CheckTemplate(const std::string& AWhat, std::string_view AText, std::ostream& AErr) {
  const std::u16string_view fault = TemplateSamplesFault(Widen(AText));
  if (fault.empty()) return true;
  AErr << "tessiva-match: " << AWhat << ": " << Narrow(fault) << '\n';
  return false;
}

int Compare(const std::string& AProbe, const std::string& ATemplate, std::ostream& AOut,
            std::ostream& AErr) {
  if (!CheckTemplate("probe", AProbe, AErr) || !CheckTemplate("template", ATemplate, AErr)) {
    return kTrouble;
  }
  const int32_t score = *TMinutiaeTemplateCodec::ScoreTexts(Widen(ATemplate), Widen(AProbe));
  const bool match = score >= kReaderOneToOneThreshold;
  TJsonObject json;
  json.AddItem(u"match").SetBool(match);
  json.SetInt(u"score", score);
  json.SetInt(u"threshold", kReaderOneToOneThreshold);
  AOut << Narrow(json.ToString()) << '\n';
  return match ? kMatch : kNoMatch;
}

// The gallery goes into a cache as the bridge's enrolments do, each under its line number, and
// the probe is identified there: ties go to the earliest line.
int Identify(const std::string& AProbe, const std::string& APath, std::ostream& AOut,
             std::ostream& AErr) {
  if (!CheckTemplate("probe", AProbe, AErr)) return kTrouble;
  const TGallery gallery = ReadGallery(APath);
  if (!gallery.Error.empty()) {
    AErr << "tessiva-match: " << gallery.Error << '\n';
    return kTrouble;
  }
  TCaches caches;
  const int32_t cache = caches.Create();
  for (const TGalleryEntry& entry : gallery.Entries) {
    if (!CheckTemplate(APath + ":" + std::to_string(entry.Line), entry.Template, AErr)) {
      return kTrouble;
    }
    const std::u16string text = Widen(entry.Template);
    caches.Add(cache, entry.Line, text, text);
  }
  const TCaches::TIdentification found = caches.Identify(cache, Widen(AProbe), kReaderThreshold);
  TJsonObject json;
  json.AddItem(u"match").SetBool(found.Id != -1);
  json.SetInt(u"line", found.Id);
  for (const TGalleryEntry& entry : gallery.Entries) {
    if (entry.Line == found.Id && !entry.Id.empty()) json.SetString(u"id", Widen(entry.Id));
  }
  json.SetInt(u"score", found.Score);
  json.SetInt(u"threshold", kReaderThreshold);
  json.SetInt(u"compared", found.Compared);
  AOut << Narrow(json.ToString()) << '\n';
  return found.Id != -1 ? kMatch : kNoMatch;
}

int WriteIso(const std::string& ATemplate, const std::string& APath, std::ostream& AOut,
             std::ostream& AErr) {
  if (!CheckTemplate("template", ATemplate, AErr)) return kTrouble;
  const std::vector<uint8_t> record = IsoMinutiaeRecord(*DecodeTemplateSamples(Widen(ATemplate)));
  const auto* bytes = reinterpret_cast<const char*>(record.data());
  const auto size = static_cast<std::streamsize>(record.size());
  if (APath == "-") {
    AOut.write(bytes, size);
    AOut.flush();
    return AOut ? kMatch : kTrouble;
  }
  std::ofstream out(APath, std::ios::binary);
  if (out) out.write(bytes, size);
  if (out) out.close();
  if (!out) {
    AErr << "tessiva-match: cannot write " << APath << ": " << std::strerror(errno) << '\n';
    return kTrouble;
  }
  return kMatch;
}

}  // namespace

int RunMatchCommand(std::span<const std::string> AArgs, std::ostream& AOut, std::ostream& AErr) {
  if (AArgs.size() == 1 && AArgs[0] == "--help") {
    PrintUsage(AOut);
    return kMatch;
  }
  if (AArgs.size() == 1 && AArgs[0] == "--version") {
    AOut << "tessiva-match " TESSIVA_VERSION "\n";
    return kMatch;
  }
  if (AArgs.size() == 3 && AArgs[0] == "--iso") return WriteIso(AArgs[1], AArgs[2], AOut, AErr);
  if (AArgs.size() == 3 && AArgs[1] == "--gallery" && !AArgs[0].starts_with("--")) {
    return Identify(AArgs[0], AArgs[2], AOut, AErr);
  }
  if (AArgs.size() == 2 && !AArgs[0].starts_with("--") && !AArgs[1].starts_with("--")) {
    return Compare(AArgs[0], AArgs[1], AOut, AErr);
  }
  return Usage(AErr);
}
