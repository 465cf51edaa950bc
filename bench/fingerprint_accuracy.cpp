// fingerprint_accuracy: accuracy and speed of the image-reader engine against libfprint's own
// matcher, on generated fingers pressed on libfprint's virtual image reader. Our side runs the
// real engine through its control interface (its minutiae come from libfprint's NBIS) and
// scores every enrolment-probe pair offline; libfprint's side enrols, verifies and identifies
// through libfprint's public API. Prints a table and one JSON line; progress goes to stderr.
//   fingerprint_accuracy [--fingers N] [--impressions M] [--first-finger SEED] [--images DIR]
//                        [--cache-size K]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "AccuracyReport.h"
#include "FprintFPEngX.h"
#include "ImpressionSet.h"
#include "TessivaEngineRun.h"
#include "VirtualImageDevice.h"

namespace {

constexpr int kThreshold = 10;
constexpr int kEnrolPresses = 3;
constexpr int kFingersPerEngine = 20;
// 35 impostors a probe: with 3 probes a finger, over 10,000 impostor pairs for libfprint.
constexpr int kGallerySize = 36;

struct TArguments {
  int Fingers = 100;
  int Impressions = 8;
  uint32_t FirstFinger = 1;
  int CacheSize = 1000;
  std::string Images;  // a folder keeping the generated images between runs
};

bool ParseCount(const char* AText, long AMin, long AMax, long& AValue) {
  char* end = nullptr;
  AValue = std::strtol(AText, &end, 10);
  return end != AText && *end == '\0' && AValue >= AMin && AValue <= AMax;
}

bool Parse(int argc, char** argv, TArguments& AArguments) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    long value = 0;
    if (option == "--images") {
      AArguments.Images = argv[i + 1];
    } else if (option == "--fingers" && ParseCount(argv[i + 1], 2, 10000, value)) {
      AArguments.Fingers = static_cast<int>(value);
    } else if (option == "--impressions" && ParseCount(argv[i + 1], kEnrolPresses + 1, 100, value)) {
      AArguments.Impressions = static_cast<int>(value);
    } else if (option == "--first-finger" && ParseCount(argv[i + 1], 0, 0xFFFF0000l, value)) {
      AArguments.FirstFinger = static_cast<uint32_t>(value);
    } else if (option == "--cache-size" && ParseCount(argv[i + 1], 1, 1000000, value)) {
      AArguments.CacheSize = static_cast<int>(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1;
}

const auto kStart = std::chrono::steady_clock::now();

double Elapsed() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count(); }

void Progress(const char* AWhat) { std::fprintf(stderr, "%4.0f s  %s\n", Elapsed(), AWhat); }

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
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a socket folder");
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
    RunTessivaEngine(engine, AQueue, AImages, first, std::min(first + kFingersPerEngine, AImages.Fingers()),
                     kEnrolPresses, [&](const TGreyImage& AImage) { reader.Press(AImage); }, templates);
    engine.EndEngine();
  }
  return templates;
}

void RunTessiva(const TImpressionSet& AImages, const std::string& ASocket, int ACacheSize, TAccuracyRun& ARun) {
  TLoopMainThreadQueue queue;
  const TTessivaTemplates templates = CaptureWithEngines(AImages, ASocket, queue);
  ARun.CaptureToEventMilliseconds = SummariseTimings(templates.CaptureToEventMilliseconds, 95);
  Progress("tessiva: matching speed");
  TFprintFPEngX engine(queue);
  ARun.Speed = MeasureEngineSpeed(engine, templates, ACacheSize);
  Progress("tessiva: scoring every enrolment against every probe");
  ARun.Tessiva = ScoreTessivaTemplates(templates, kThreshold, kGallerySize);
}

}  // namespace

int main(int argc, char** argv) {
  TArguments arguments;
  if (!Parse(argc, argv, arguments)) {
    std::cerr << "usage: fingerprint_accuracy [--fingers N] [--impressions M] [--first-finger SEED]\n"
                 "                            [--images DIR] [--cache-size K]\n";
    return 2;
  }
  try {
    Progress("generating the presses");
    const TImpressionSet images(arguments.Fingers, arguments.Impressions, arguments.FirstFinger, arguments.Images);
    const TSocketFolder sockets;
    TAccuracyRun run;
    run.Fingers = arguments.Fingers;
    run.Impressions = arguments.Impressions;
    run.FirstFinger = arguments.FirstFinger;
    run.Threshold = kThreshold;
    run.TessivaEnrolPresses = kEnrolPresses;
    run.GallerySize = std::min(kGallerySize, arguments.Fingers);
    run.TessivaEngines = (arguments.Fingers + kFingersPerEngine - 1) / kFingersPerEngine;
    Progress("tessiva: the engine over the virtual reader");
    RunTessiva(images, sockets.Socket("tessiva.sock"), arguments.CacheSize, run);
    // After the engines are gone: their loop thread owns GLib's default context while one lives.
    Progress("libfprint: its own matcher over the virtual reader");
    run.Fprint = RunFprintMatcher(images, kGallerySize, sockets.Socket("libfprint.sock"));
    Progress("done");
    run.Seconds = Elapsed();
    run.LoadAverage = LoadAverage();
    PrintAccuracyReport(run);
  } catch (const std::exception& error) {
    std::cerr << "fingerprint_accuracy: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
