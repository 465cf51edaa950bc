// enrolment_run: enrols fingers from image files through the reader engine on libfprint's
// virtual image reader, as a user would: presses of one finger in order until the engine ends
// the enrolment. Then the same with another finger's presses slipped in, which must fail.
//   enrolment_run MAX_PRESSES IMAGE...
// Images are named F_K.pgm or F_K.png (finger F, impression K); each finger's impressions are
// pressed in the order K, at most MAX_PRESSES of them.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FprintFPEngX.h"
#include "ImageFile.h"
#include "MainThreadQueue.h"
#include "VirtualImageDevice.h"

namespace {

// A cold reader for every enrolment: libfprint's heat model stops one kept armed for minutes.
class TEnrolmentBench {
 public:
  TEnrolmentBench() {
    char folder[] = "/tmp/enrolment_run.XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("cannot create a socket folder");
    FFolder = folder;
    FSocket = FFolder + "/reader.sock";
    setenv("FP_VIRTUAL_IMAGE", FSocket.c_str(), 1);
  }
  ~TEnrolmentBench() { std::filesystem::remove_all(FFolder); }

  struct TOutcome {
    std::optional<bool> Enrolled;  // none: still enrolling after the last press
    int Presses = 0;               // pressed until the engine ended the enrolment
    std::string Classes;           // each press's quality class: + good, ? suspicious, - poor
  };

  TOutcome Enrol(const std::vector<std::string>& AImages) {
    std::filesystem::remove(FSocket);
    TFprintFPEngX engine(FQueue);
    if (engine.InitEngine() != 0) throw std::runtime_error("the engine found no virtual reader");
    TVirtualImageDevice reader(FSocket);
    TOutcome outcome;
    int rated = 0;
    engine.OnFeatureInfo = [&](TNqFPEngX*, int32_t AClass) {
      outcome.Classes += AClass == 0 ? '+' : AClass == -1 ? '?' : '-';
      ++rated;
    };
    engine.OnEnroll = [&](TNqFPEngX*, bool AResult, const OleVariant&) {
      outcome.Enrolled = AResult;
    };
    engine.BeginEnroll();
    for (const std::string& image : AImages) {
      const int before = rated;
      reader.Press(ReadImageFile(image));
      if (!FQueue.RunUntil([&] { return rated > before; }, std::chrono::seconds(60))) {
        throw std::runtime_error("no rating for " + image);
      }
      ++outcome.Presses;
      if (outcome.Enrolled) break;
    }
    engine.OnFeatureInfo = nullptr;
    engine.OnEnroll = nullptr;
    engine.EndEngine();
    return outcome;
  }

 private:
  std::string FFolder;
  std::string FSocket;
  TLoopMainThreadQueue FQueue;
};

std::string Describe(const TEnrolmentBench::TOutcome& AOutcome) {
  const std::string result = !AOutcome.Enrolled   ? "still enrolling"
                             : *AOutcome.Enrolled ? "enrolled"
                                                  : "failed";
  return result + " after " + std::to_string(AOutcome.Presses) + " presses " + AOutcome.Classes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: enrolment_run MAX_PRESSES IMAGE...\n";
    return 2;
  }
  try {
    const auto maxPresses = static_cast<std::size_t>(std::stoi(argv[1]));
    std::map<int, std::map<int, std::string>> fingers;  // finger, impression -> path
    for (int i = 2; i < argc; ++i) {
      const std::string name = std::filesystem::path(argv[i]).stem().string();
      const auto underscore = name.find('_');
      if (underscore == std::string::npos) throw std::runtime_error("not F_K: " + name);
      fingers[std::stoi(name.substr(0, underscore))][std::stoi(name.substr(underscore + 1))] =
          argv[i];
    }
    std::vector<std::vector<std::string>> presses;
    for (const auto& [finger, impressions] : fingers) {
      presses.emplace_back();
      for (const auto& [impression, path] : impressions) presses.back().push_back(path);
    }
    TEnrolmentBench bench;
    int enrolled = 0, strangerFailed = 0, strangerTried = 0;
    for (std::size_t f = 0; f < presses.size(); ++f) {
      const auto& own = presses[f];
      const std::vector<std::string> first(own.begin(),
                                           own.begin() + std::min(own.size(), maxPresses));
      const auto outcome = bench.Enrol(first);
      enrolled += outcome.Enrolled == true ? 1 : 0;
      std::printf("finger %zu: %s\n", f + 1, Describe(outcome).c_str());
      // The next finger's first two presses after this finger's first: the enrolment must fail
      // by the third press at the latest, or go on without having counted them.
      const auto& other = presses[(f + 1) % presses.size()];
      if (own.empty() || other.size() < 2) continue;
      const auto stranger = bench.Enrol({own[0], other[0], other[1]});
      ++strangerTried;
      strangerFailed += stranger.Enrolled == false ? 1 : 0;
      std::printf("  then finger %zu twice: %s\n", (f + 1) % presses.size() + 1,
                  Describe(stranger).c_str());
    }
    std::printf(
        "enrolled within %zu presses: %d of %zu fingers; another finger's two presses "
        "failed %d of %d enrolments\n",
        maxPresses, enrolled, presses.size(), strangerFailed, strangerTried);
  } catch (const std::exception& error) {
    std::cerr << "enrolment_run: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
