#include "FprintMatcherRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>

#include "FprintVirtualReader.h"
#include "IdentificationGallery.h"

namespace {

// Well within the few minutes after which libfprint's heat model stops a reader.
constexpr double kSecondsPerReader = 45;

class TFprintRun {
 public:
  TFprintRun(const TImpressionSet& AImpressions, int AGallerySize, const std::string& ASocketPath)
      : FImpressions(AImpressions), FSocketPath(ASocketPath) {
    FReader.emplace(FSocketPath);
    FResult.Fingers = AImpressions.Fingers();
    FResult.GallerySize = std::min(AGallerySize, FResult.Fingers);
    FResult.EnrolPresses = FReader->EnrolPresses();
    FResult.ProbesPerFinger = AImpressions.Impressions() - FResult.EnrolPresses;
    if (FResult.ProbesPerFinger < 1) {
      throw EFprintReader("libfprint enrols with " + std::to_string(FResult.EnrolPresses) +
                          " presses: more impressions per finger are needed");
    }
  }

  TFprintAccuracy Run() {
    for (int finger = 0; finger < FResult.Fingers; ++finger) Enrol(finger);
    for (int finger = 0; finger < FResult.Fingers; ++finger) {
      for (int probe = FResult.EnrolPresses; probe < FImpressions.Impressions(); ++probe) {
        Probe(finger, FImpressions.Image(finger, probe));
      }
      if ((finger + 1) % 10 == 0) std::fprintf(stderr, "libfprint: %d fingers probed\n", finger + 1);
    }
    return FResult;
  }

 private:
  void Enrol(int AFinger) {
    std::vector<const TGreyImage*> presses;
    for (int i = 0; i < FResult.EnrolPresses; ++i) presses.push_back(&FImpressions.Image(AFinger, i));
    FResult.Presses += FResult.EnrolPresses;
    std::string error;
    FEnrolled.push_back(Reader().Enrol(presses, error));
    if (!FEnrolled.back()) {
      ++FResult.FailedEnrolments;
      std::fprintf(stderr, "libfprint: finger %u not enrolled: %s\n", FImpressions.FingerSeed(AFinger), error.c_str());
    }
  }

  void Probe(int AFinger, const TGreyImage& AImage) {
    FpPrint* own = FEnrolled[static_cast<std::size_t>(AFinger)].get();
    ++FResult.GenuineAttempts;
    if (own != nullptr) {
      const TFprintMatch verified = Press([&] { return Reader().Verify(own, AImage); });
      if (!verified.Scanned) {
        ++FResult.FailedScans;
        std::fprintf(stderr, "libfprint: a press of finger %u made no print: %s\n", FImpressions.FingerSeed(AFinger),
                     verified.Error.c_str());
      }
      if (verified.Matched == 0) ++FResult.GenuineMatches;
      FResult.VerifyMilliseconds.push_back(verified.Milliseconds);
    }
    Identify(AFinger, AImage);
  }

  // The enrolled prints of the probe's gallery, its own last.
  std::vector<FpPrint*> GalleryFor(int AFinger) const {
    std::vector<FpPrint*> gallery;
    for (const int finger : IdentificationGallery(AFinger, FResult.Fingers, FResult.GallerySize)) {
      if (const auto& print = FEnrolled[static_cast<std::size_t>(finger)]) gallery.push_back(print.get());
    }
    return gallery;
  }

  void Identify(int AFinger, const TGreyImage& AImage) {
    const std::vector<FpPrint*> gallery = GalleryFor(AFinger);
    FpPrint* own = FEnrolled[static_cast<std::size_t>(AFinger)].get();
    const std::size_t impostors = gallery.size() - (own != nullptr ? 1 : 0);
    ++FResult.Identifications;
    for (std::size_t start = 0; start < gallery.size();) {
      const TFprintMatch found =
          Press([&] { return Reader().Identify(std::span(gallery).subspan(start), AImage); });
      if (start == 0) FResult.IdentifyMilliseconds.push_back(found.Milliseconds);
      if (!found.Scanned) return;
      const std::size_t matched = found.Matched < 0 ? gallery.size() : start + static_cast<std::size_t>(found.Matched);
      FResult.ImpostorPairs += static_cast<long>(std::min(matched, impostors) - std::min(start, impostors));
      if (matched == gallery.size()) return;
      if (gallery[matched] == own) {
        if (start == 0) ++FResult.CorrectIdentifications;
        return;
      }
      ++FResult.ImpostorPairs;
      ++FResult.ImpostorMatches;
      start = matched + 1;
    }
  }

  // A reader used for a while is replaced by a new one (a new context, the same socket): the
  // heat libfprint models for real sensors would otherwise stop a benchmark of its matcher.
  // Prints stay valid, being of the same driver and device.
  TFprintVirtualReader& Reader() {
    if (FReader->SecondsInUse() > kSecondsPerReader) {
      FReader.reset();
      std::error_code ignored;
      std::filesystem::remove(FSocketPath, ignored);
      FReader.emplace(FSocketPath);
      ++FResult.ReaderRenewals;
    }
    return *FReader;
  }

  template <class TMatch>
  TFprintMatch Press(TMatch AMatch) {
    ++FResult.Presses;
    return AMatch();
  }

  const TImpressionSet& FImpressions;
  const std::string FSocketPath;
  std::optional<TFprintVirtualReader> FReader;
  std::vector<TGObjectPtr<FpPrint>> FEnrolled;
  TFprintAccuracy FResult;
};

}  // namespace

TFprintAccuracy RunFprintMatcher(const TImpressionSet& AImpressions, int AGallerySize, const std::string& ASocketPath) {
  return TFprintRun(AImpressions, AGallerySize, ASocketPath).Run();
}
