#pragma once

#include <string>
#include <vector>

#include "ImpressionSet.h"

// libfprint's own matcher on the generated presses, at its operating point (it gives no score).
// Each finger is enrolled with its first presses as libfprint asks (5 for image readers); each
// later press is a probe: verified against its own finger's print (genuine), then identified in
// the gallery of every enrolled finger with its own print last, so that one press tells the
// outcome of every impostor pair in it; a press that matches an impostor is pressed again on
// the rest of the gallery.
struct TFprintAccuracy {
  int EnrolPresses = 0;
  int ProbesPerFinger = 0;
  int Fingers = 0;
  int FailedEnrolments = 0;
  int GenuineAttempts = 0;  // probes of enrolled and not enrolled fingers alike
  int GenuineMatches = 0;
  int FailedScans = 0;      // probe presses the reader made no print of
  long ImpostorPairs = 0;
  long ImpostorMatches = 0;
  int Identifications = 0;
  int CorrectIdentifications = 0;  // the probe's own print came first, nothing before it matched
  int Presses = 0;
  std::vector<double> VerifyMilliseconds;    // press start to verification result
  std::vector<double> IdentifyMilliseconds;  // press start to identification in the whole gallery
};

TFprintAccuracy RunFprintMatcher(const TImpressionSet& AImpressions, const std::string& ASocketPath);
