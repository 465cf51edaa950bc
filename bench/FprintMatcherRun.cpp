#include "FprintMatcherRun.h"

#include <cstdio>

#include "FprintVirtualReader.h"

namespace {

class TFprintRun {
 public:
  TFprintRun(const TImpressionSet& AImpressions, const std::string& ASocketPath)
      : FImpressions(AImpressions), FReader(ASocketPath) {
    FResult.Fingers = AImpressions.Fingers();
    FResult.EnrolPresses = FReader.EnrolPresses();
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
    FEnrolled.push_back(FReader.Enrol(presses));
    if (!FEnrolled.back()) ++FResult.FailedEnrolments;
  }

  void Probe(int AFinger, const TGreyImage& AImage) {
    FpPrint* own = FEnrolled[static_cast<std::size_t>(AFinger)].get();
    ++FResult.GenuineAttempts;
    if (own != nullptr) {
      const TFprintMatch verified = Press([&] { return FReader.Verify(own, AImage); });
      if (!verified.Scanned) ++FResult.FailedScans;
      if (verified.Matched == 0) ++FResult.GenuineMatches;
      FResult.VerifyMilliseconds.push_back(verified.Milliseconds);
    }
    Identify(AFinger, AImage);
  }

  // The other fingers' prints from the next finger on, then the probe's own.
  std::vector<FpPrint*> GalleryFor(int AFinger) const {
    std::vector<FpPrint*> gallery;
    for (int step = 1; step <= FResult.Fingers; ++step) {
      const auto& print = FEnrolled[static_cast<std::size_t>((AFinger + step) % FResult.Fingers)];
      if (print) gallery.push_back(print.get());
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
          Press([&] { return FReader.Identify(std::span(gallery).subspan(start), AImage); });
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

  template <class TMatch>
  TFprintMatch Press(TMatch AMatch) {
    ++FResult.Presses;
    return AMatch();
  }

  const TImpressionSet& FImpressions;
  TFprintVirtualReader FReader;
  std::vector<TGObjectPtr<FpPrint>> FEnrolled;
  TFprintAccuracy FResult;
};

}  // namespace

TFprintAccuracy RunFprintMatcher(const TImpressionSet& AImpressions, const std::string& ASocketPath) {
  return TFprintRun(AImpressions, ASocketPath).Run();
}
