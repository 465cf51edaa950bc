// fingerprint_accuracy: accuracy and speed of the image-reader engine against libfprint's own
// matcher, on generated fingers and on folders of real presses, all pressed on libfprint's
// virtual image reader. Our side runs the real engine through its control interface (its
// minutiae come from libfprint's NBIS) and scores every enrolment-probe pair offline;
// libfprint's side enrols, verifies and identifies through libfprint's public API, once as it
// enrols and once with our enrolment presses. Prints one table and one JSON line per set;
// progress goes to stderr.
//   fingerprint_accuracy [--fingers N] [--impressions M] [--first-finger SEED] [--images DIR]
//                        [--cache-size K] [--set DIR]... [--report-fingers FIRST-LAST]
//                        [--gallery-seed S]
// --fingers 0 leaves the generated set out; --set takes a folder of F_K.pgm presses.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AccuracyReport.h"
#include "FprintFPEngX.h"
#include "ImpressionFolder.h"
#include "ImpressionSet.h"
#include "TessivaEngineRun.h"
#include "VirtualImageDevice.h"

namespace {

constexpr int kThreshold = 10;
constexpr TTessivaProtocol kProtocol{.EnrolPresses = 3, .MostEnrolPresses = 5};
constexpr int kFingersPerEngine = 20;
// 35 impostors a probe: with 3 probes a finger, over 10,000 impostor pairs for libfprint.
constexpr int kGallerySize = 36;
// Where the score scale was set: generated seeds 101..253 and real fingers 1..5 of each set.
constexpr uint32_t kCalibrationFirstSeed = 101;
constexpr uint32_t kCalibrationLastSeed = 253;
constexpr int kCalibrationRealFingers = 5;
// The share of each set's fingers enrolled; the rest are strangers to them.
constexpr int kEnrolledTenths = 7;

struct TArguments {
  int Fingers = 100;
  int Impressions = 8;
  uint32_t FirstFinger = 1;
  int CacheSize = 1000;
  std::string Images;  // a folder keeping the generated images between runs
  std::vector<std::string> Sets;
  std::optional<TFingerRange>
      ReportFingers;  // of the real sets; else those after the calibration's
  uint32_t GallerySeed = 1;
};

bool ParseCount(const char* AText, long AMin, long AMax, long& AValue) {
  char* end = nullptr;
  AValue = std::strtol(AText, &end, 10);
  return end != AText && *end == '\0' && AValue >= AMin && AValue <= AMax;
}

bool ParseRange(const char* AText, TFingerRange& ARange) {
  int first = 0, last = 0;
  char rest = 0;
  if (std::sscanf(AText, "%d-%d%c", &first, &last, &rest) != 2 || first < 1 || last < first)
    return false;
  ARange = {first - 1, last};
  return true;
}

bool Parse(int argc, char** argv, TArguments& AArguments) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    long value = 0;
    TFingerRange range;
    if (option == "--images") {
      AArguments.Images = argv[i + 1];
    } else if (option == "--set") {
      AArguments.Sets.emplace_back(argv[i + 1]);
    } else if (option == "--report-fingers" && ParseRange(argv[i + 1], range)) {
      AArguments.ReportFingers = range;
    } else if (option == "--fingers" && ParseCount(argv[i + 1], 0, 10000, value) && value != 1) {
      AArguments.Fingers = static_cast<int>(value);
    } else if (option == "--impressions" &&
               ParseCount(argv[i + 1], kProtocol.EnrolPresses + 1, 100, value)) {
      AArguments.Impressions = static_cast<int>(value);
    } else if (option == "--first-finger" && ParseCount(argv[i + 1], 0, 0xFFFF0000l, value)) {
      AArguments.FirstFinger = static_cast<uint32_t>(value);
    } else if (option == "--cache-size" && ParseCount(argv[i + 1], 1, 1000000, value)) {
      AArguments.CacheSize = static_cast<int>(value);
    } else if (option == "--gallery-seed" && ParseCount(argv[i + 1], 0, 0xFFFFFFFFl, value)) {
      AArguments.GallerySeed = static_cast<uint32_t>(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1;
}

const auto kStart = std::chrono::steady_clock::now();

double Elapsed() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
}

void Progress(const std::string& AWhat) {
  std::fprintf(stderr, "%4.0f s  %s\n", Elapsed(), AWhat.c_str());
}

double LoadAverage() {
  std::ifstream file("/proc/loadavg");
  double load = 0;
  file >> load;
  return load;
}

// A private folder for the two virtual readers' sockets, removed at the end.
class TSocketFolder {
 public:
  TSocketFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fpacc.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a socket folder");
    FPath = pattern;
  }
  ~TSocketFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TSocketFolder(const TSocketFolder&) = delete;
  TSocketFolder& operator=(const TSocketFolder&) = delete;
  std::string Socket(const char* AName) const { return (FPath / AName).string(); }

 private:
  std::filesystem::path FPath;
};

// One set to measure, with what to say about the threshold's calibration.
struct TSetToRun {
  std::string Name;
  std::string Description;
  std::string Calibration;
  std::optional<TFingerRange> ReportedApart;
  TImpressionSet Images;
};

TSetToRun GeneratedSet(const TArguments& AArguments) {
  const uint32_t last = AArguments.FirstFinger + static_cast<uint32_t>(AArguments.Fingers) - 1;
  const bool apart = last < kCalibrationFirstSeed || AArguments.FirstFinger > kCalibrationLastSeed;
  char text[320];
  std::snprintf(
      text, sizeof text,
      "Generated fingers, seeds %u..%u, impressions with seeds 1..%d. The threshold was set on "
      "generated "
      "seeds %u..%u and real fingers 1-%d: %s.",
      AArguments.FirstFinger, last, AArguments.Impressions, kCalibrationFirstSeed,
      kCalibrationLastSeed, kCalibrationRealFingers,
      apart ? "none of these fingers" : "SOME OF THESE FINGERS, the figures flatter the engine");
  return {"generated", "generated presses, pressed as made", text, std::nullopt,
          TImpressionSet(AArguments.Fingers, AArguments.Impressions, AArguments.FirstFinger,
                         AArguments.Images)};
}

TSetToRun FolderSet(const std::string& AFolder, const TArguments& AArguments) {
  TImpressionSet images = ReadImpressionFolder(AFolder);
  TFingerRange apart =
      AArguments.ReportFingers.value_or(TFingerRange{kCalibrationRealFingers, images.Fingers()});
  apart.End = std::min(apart.End, images.Fingers());
  const bool shown = apart.Count() > 0 && apart.Count() < images.Fingers();
  char text[320];
  std::snprintf(text, sizeof text,
                "Real presses. The threshold was set on generated fingers and on real fingers 1-%d "
                "of the FVC sets%s.",
                kCalibrationRealFingers,
                shown ? (", so fingers " + apart.Text() + " are also shown alone").c_str() : "");
  const std::string name = std::filesystem::path(AFolder).lexically_normal().filename().string();
  return {name.empty() ? AFolder : name, "real presses read from " + AFolder, text,
          shown ? std::optional(apart) : std::nullopt, std::move(images)};
}

// The engine's reader is libfprint's virtual one at ASocket, created with the engine. A new
// engine, with a new cold reader, every few fingers: libfprint's heat model stops a reader kept
// armed for minutes, whatever the engine does.
TTessivaTemplates CaptureWithEngines(const TImpressionSet& AImages, const std::string& ASocket,
                                     TLoopMainThreadQueue& AQueue) {
  setenv("FP_VIRTUAL_IMAGE", ASocket.c_str(), 1);
  TTessivaTemplates templates;
  for (int first = 0; first < AImages.Fingers(); first += kFingersPerEngine) {
    std::error_code ignored;
    std::filesystem::remove(ASocket, ignored);
    TFprintFPEngX engine(AQueue);
    engine.SetFPEngineVersion(u"10");
    if (engine.InitEngine() != 0) throw std::runtime_error("the engine found no virtual reader");
    TVirtualImageDevice reader(ASocket);
    RunTessivaEngine(
        engine, AQueue, AImages, first, std::min(first + kFingersPerEngine, AImages.Fingers()),
        kProtocol, [&](const TGreyImage& AImage) { reader.Press(AImage); }, templates);
    engine.EndEngine();
  }
  return templates;
}

void RunTessiva(const TImpressionSet& AImages, const std::string& ASocket, int ACacheSize,
                TAccuracyRun& ARun) {
  TLoopMainThreadQueue queue;
  ARun.Templates = CaptureWithEngines(AImages, ASocket, queue);
  Progress("tessiva: matching speed");
  TFprintFPEngX engine(queue);
  ARun.Speed = MeasureEngineSpeed(engine, ARun.Templates, ACacheSize);
  Progress("tessiva: scoring every enrolment against every probe");
  ARun.Scores = ScoreTessivaTemplates(ARun.Templates, kProtocol.EnrolPresses);
  Progress("tessiva: identification in the engine's 1:N cache");
  ARun.Identifications =
      IdentifyInGalleries(engine, ARun.Templates, ARun.GallerySize, ARun.GallerySeed);
  ARun.Strangers =
      IdentifyStrangers(engine, ARun.Templates, AImages.Fingers() * kEnrolledTenths / 10);
}

void RunSet(const TSetToRun& ASet, const TArguments& AArguments) {
  const double start = Elapsed();
  const TImpressionSet& images = ASet.Images;
  const TSocketFolder sockets;
  TAccuracyRun run;
  run.Name = ASet.Name;
  run.Description = ASet.Description;
  run.Calibration = ASet.Calibration;
  run.Groups.push_back({0, images.Fingers()});
  if (ASet.ReportedApart) run.Groups.push_back(*ASet.ReportedApart);
  run.Fingers = images.Fingers();
  run.Impressions = images.Impressions();
  run.Threshold = kThreshold;
  run.Protocol = kProtocol;
  run.GallerySize = std::min(kGallerySize, images.Fingers());
  run.GallerySeed = AArguments.GallerySeed;
  run.TessivaEngines = (images.Fingers() + kFingersPerEngine - 1) / kFingersPerEngine;
  Progress(ASet.Name + ": tessiva, the engine over the virtual reader");
  RunTessiva(images, sockets.Socket("tessiva.sock"), AArguments.CacheSize, run);
  // After the engines are gone: their loop thread owns GLib's default context while one lives.
  Progress(ASet.Name + ": libfprint, its own matcher over the virtual reader, as it enrols");
  run.FprintUsual =
      RunFprintMatcher(images, 0, kGallerySize, run.GallerySeed, sockets.Socket("libfprint.sock"));
  Progress(ASet.Name + ": libfprint, enrolled with our enrolment presses");
  run.FprintSame = RunFprintMatcher(images, kProtocol.EnrolPresses, kGallerySize, run.GallerySeed,
                                    sockets.Socket("libfprint.sock"));
  Progress(ASet.Name + ": done");
  run.Seconds = Elapsed() - start;
  run.LoadAverage = LoadAverage();
  PrintAccuracyReport(run);
}

}  // namespace

int main(int argc, char** argv) {
  TArguments arguments;
  if (!Parse(argc, argv, arguments) || (arguments.Fingers == 0 && arguments.Sets.empty())) {
    std::cerr
        << "usage: fingerprint_accuracy [--fingers N] [--impressions M] [--first-finger SEED]\n"
           "                            [--images DIR] [--cache-size K] [--set DIR]...\n"
           "                            [--report-fingers FIRST-LAST] [--gallery-seed S]\n"
           "  --fingers 0 measures the --set folders (F_K.pgm presses) alone\n";
    return 2;
  }
  try {
    if (arguments.Fingers > 0) {
      Progress("generating the presses");
      RunSet(GeneratedSet(arguments), arguments);
    }
    for (const std::string& folder : arguments.Sets)
      RunSet(FolderSet(folder, arguments), arguments);
  } catch (const std::exception& error) {
    std::cerr << "fingerprint_accuracy: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
