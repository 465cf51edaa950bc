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
  TFprintRun(const TImpressionSet& AImpressions, int AEnrolPresses, int AGallerySize,
             uint32_t AGallerySeed, const std::string& ASocketPath)
      : FImpressions(AImpressions), FSocketPath(ASocketPath), FGallerySeed(AGallerySeed) {
    FReader.emplace(FSocketPath);
    FResult.Fingers = AImpressions.Fingers();
    FResult.GallerySize = std::min(AGallerySize, FResult.Fingers);
    FResult.EnrolPresses = AEnrolPresses > 0 ? AEnrolPresses : FReader->EnrolPresses();
    if (FResult.EnrolPresses >= AImpressions.Impressions()) {
      throw EFprintReader("libfprint enrols with " + std::to_string(FResult.EnrolPresses) +
                          " presses: more impressions per finger are needed");
    }
  }

  TFprintAccuracy Run() {
    for (int finger = 0; finger < FResult.Fingers; ++finger) Enrol(finger);
    for (int finger = 0; finger < FResult.Fingers; ++finger) {
      for (int probe = FResult.EnrolPresses; probe < FImpressions.Impressions(); ++probe)
        Probe(finger, probe);
      if ((finger + 1) % 10 == 0) {
        std::fprintf(stderr, "libfprint (%d presses): %d fingers probed\n", FResult.EnrolPresses,
                     finger + 1);
      }
    }
    return FResult;
  }

 private:
  // The first EnrolPresses presses, in turn until the reader has had as many as it asks for.
  void Enrol(int AFinger) {
    std::vector<const TGreyImage*> presses;
    for (int i = 0; i < FReader->EnrolPresses(); ++i) {
      presses.push_back(&FImpressions.Image(AFinger, i % FResult.EnrolPresses));
    }
    FResult.Presses += static_cast<int>(presses.size());
    std::string error;
    FEnrolled.push_back(Reader().Enrol(presses, error));
    FResult.Enrolled.push_back(FEnrolled.back() != nullptr);
    if (!FEnrolled.back()) {
      std::fprintf(stderr, "libfprint: finger %u not enrolled: %s\n",
                   FImpressions.FingerNumber(AFinger), error.c_str());
    }
  }

  void Probe(int AFinger, int AProbe) {
    const TGreyImage& image = FImpressions.Image(AFinger, AProbe);
    FpPrint* own = FEnrolled[static_cast<std::size_t>(AFinger)].get();
    bool matched = false;
    if (own != nullptr) {
      const TFprintMatch verified = Press([&] { return Reader().Verify(own, image); });
      if (!verified.Scanned) {
        ++FResult.FailedScans;
        std::fprintf(stderr, "libfprint: a press of finger %u made no print: %s\n",
                     FImpressions.FingerNumber(AFinger), verified.Error.c_str());
      }
      matched = verified.Matched == 0;
      FResult.VerifyMilliseconds.push_back(verified.Milliseconds);
    }
    FResult.Genuine.push_back({AFinger, AFinger, matched});
    Identify(AFinger, AProbe, image);
  }

  // The enrolled prints of the probe's gallery, in its order, with their fingers.
  std::vector<std::pair<int, FpPrint*>> GalleryFor(int AFinger, int AProbe) const {
    std::vector<std::pair<int, FpPrint*>> gallery;
    for (const int finger : IdentificationGallery(AFinger, AProbe, FResult.Fingers,
                                                  FResult.GallerySize, FGallerySeed)) {
      if (const auto& print = FEnrolled[static_cast<std::size_t>(finger)])
        gallery.emplace_back(finger, print.get());
    }
    return gallery;
  }

  void Identify(int AFinger, int AProbe, const TGreyImage& AImage) {
    const auto gallery = GalleryFor(AFinger, AProbe);
    std::vector<FpPrint*> prints;
    for (const auto& entry : gallery) prints.push_back(entry.second);
    TFprintIdentification& identification =
        FResult.Identifications.emplace_back(TFprintIdentification{AFinger, false});
    for (std::size_t start = 0; start < prints.size();) {
      const TFprintMatch found =
          Press([&] { return Reader().Identify(std::span(prints).subspan(start), AImage); });
      if (start == 0) FResult.IdentifyMilliseconds.push_back(found.Milliseconds);
      if (!found.Scanned) return;
      const std::size_t matched =
          found.Matched < 0 ? prints.size() : start + static_cast<std::size_t>(found.Matched);
      for (std::size_t i = start; i < matched; ++i) AddImpostor(AFinger, gallery[i].first, false);
      if (matched == prints.size()) return;
      if (gallery[matched].first == AFinger) {
        identification.Correct = start == 0;
      } else {
        AddImpostor(AFinger, gallery[matched].first, true);
      }
      // Pressed again on the prints after it, so that every impostor pair of the gallery counts
      // wherever the own print lies.
      start = matched + 1;
    }
  }

  void AddImpostor(int AProbeFinger, int AEnrolledFinger, bool AMatched) {
    if (AEnrolledFinger != AProbeFinger)
      FResult.Impostor.push_back({AProbeFinger, AEnrolledFinger, AMatched});
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
  const uint32_t FGallerySeed;
  std::optional<TFprintVirtualReader> FReader;
  std::vector<TGObjectPtr<FpPrint>> FEnrolled;
  TFprintAccuracy FResult;
};

}  // namespace

TFprintAccuracy RunFprintMatcher(const TImpressionSet& AImpressions, int AEnrolPresses,
                                 int AGallerySize, uint32_t AGallerySeed,
                                 const std::string& ASocketPath) {
  return TFprintRun(AImpressions, AEnrolPresses, AGallerySize, AGallerySeed, ASocketPath).Run();
}

TFprintRates FprintRates(const TFprintAccuracy& AAccuracy, const TFingerRange& ARange) {
  TFprintRates rates;
  int genuineMatches = 0, identified = 0;
  long impostorMatches = 0;
  for (const TFprintPair& pair : AAccuracy.Genuine) {
    if (!ARange.Contains(pair.ProbeFinger)) continue;
    ++rates.Genuine;
    genuineMatches += pair.Matched ? 1 : 0;
  }
  for (const TFprintPair& pair : AAccuracy.Impostor) {
    if (!ARange.Contains(pair.ProbeFinger) || !ARange.Contains(pair.EnrolledFinger)) continue;
    ++rates.Impostor;
    impostorMatches += pair.Matched ? 1 : 0;
  }
  for (const TFprintIdentification& identification : AAccuracy.Identifications) {
    if (!ARange.Contains(identification.Finger)) continue;
    ++rates.Identifications;
    identified += identification.Correct ? 1 : 0;
  }
  for (int finger = ARange.First; finger < ARange.End; ++finger) {
    rates.FailedEnrolments += AAccuracy.Enrolled[static_cast<std::size_t>(finger)] ? 0 : 1;
  }
  rates.FalseNonMatchRate =
      rates.Genuine > 0 ? 1 - static_cast<double>(genuineMatches) / rates.Genuine : 0;
  rates.FalseMatchRate = rates.Impostor > 0 ? static_cast<double>(impostorMatches) /
                                                  static_cast<double>(rates.Impostor)
                                            : 0;
  rates.IdentificationRate =
      rates.Identifications > 0 ? static_cast<double>(identified) / rates.Identifications : 0;
  return rates;
}
