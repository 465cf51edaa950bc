#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FingerRange.h"
#include "ImpressionSet.h"

// libfprint's own matcher on a set of presses, at its operating point (it gives no score).
// Each finger is enrolled with its first AEnrolPresses presses; the reader asks for 5, so with
// fewer the same presses are made again in turn (its matcher accepts a probe when any stored
// sample matches, so a repeated press adds nothing). Each later press is a probe: verified
// against its own finger's print (genuine), then identified in its gallery
// (IdentificationGallery.h, in the probe's random order), which stops at the first print that
// matches and so tells the outcome of every pair before it; a press that matches is pressed
// again on the rest of the gallery, until every pair is known. The reader is replaced by a cold one
// whenever libfprint's heat model says it has warmed up.
struct TFprintPair {
  int ProbeFinger = 0;
  int EnrolledFinger = 0;
  bool Matched = false;
};

struct TFprintIdentification {
  int Finger = 0;
  bool Correct = false;  // the first print of the gallery that matched was the probe's own
};

struct TFprintAccuracy {
  int EnrolPresses = 0;
  int Fingers = 0;
  int GallerySize = 0;
  std::vector<bool> Enrolled;
  // Every probe of every finger, enrolled or not (a finger without print never matches).
  std::vector<TFprintPair> Genuine;
  std::vector<TFprintPair> Impostor;
  std::vector<TFprintIdentification> Identifications;
  int FailedScans = 0;  // probe presses the reader made no print of
  int Presses = 0;
  int ReaderRenewals = 0;                    // readers replaced before they grew hot
  std::vector<double> VerifyMilliseconds;    // press start to verification result
  std::vector<double> IdentifyMilliseconds;  // press start to identification in the whole gallery
};

// AEnrolPresses 0: as many as the reader asks for.
TFprintAccuracy RunFprintMatcher(const TImpressionSet& AImpressions, int AEnrolPresses,
                                 int AGallerySize, uint32_t AGallerySeed,
                                 const std::string& ASocketPath);

// libfprint's rates over the pairs and probes whose fingers all lie in ARange.
struct TFprintRates {
  int Genuine = 0;
  long Impostor = 0;
  int FailedEnrolments = 0;
  double FalseNonMatchRate = 0;
  double FalseMatchRate = 0;
  int Identifications = 0;
  double IdentificationRate = 0;
};
TFprintRates FprintRates(const TFprintAccuracy& AAccuracy, const TFingerRange& ARange);
