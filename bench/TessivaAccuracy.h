#pragma once

#include <cstdint>
#include <vector>

#include "AccuracyTable.h"
#include "FingerRange.h"
#include "TessivaTemplates.h"

// The engine's score (fused over an enrolment's samples, as its 1:1 and 1:N compare) of every
// enrolment against every probe press, computed once. Scores are -1 where the enrolment or the
// probe has no template.
struct TTessivaScores {
  struct TProbe {
    int Finger = 0;
    int Press = 0;  // the probe's impression, as the gallery order is drawn for it
    bool Captured = false;
    std::vector<int> Scores;  // by enrolled finger
  };
  std::vector<bool> Enrolled;
  std::vector<TProbe> Probes;
  double EnrolledMinutiae = 0;  // mean per sample: an enrolment holds its presses
  double ProbeMinutiae = 0;
};

TTessivaScores ScoreTessivaTemplates(const TTessivaTemplates& ATemplates, int AFirstProbePress);

// Over the pairs whose two fingers lie in a range: genuine when both are of one finger,
// impostor otherwise. A finger without enrolment or a press without template scores 0 in its
// genuine pairs (a false non-match at any threshold above 0) and is left out of the impostor
// pairs. FirstMatches: the probes of the range identified as themselves by the rule libfprint
// uses, the first enrolment of the probe's gallery (IdentificationGallery.h, in its random order)
// scoring at or above the threshold.
struct TTessivaAccuracy {
  TAccuracyTable Table;
  // The same without the genuine pairs of fingers the engine did not enrol: the matcher alone.
  TAccuracyTable EnrolledTable;
  int FailedEnrolments = 0;
  int FailedCaptures = 0;
  int Probes = 0;
  int FirstMatches = 0;
};

TTessivaAccuracy SummariseTessivaScores(const TTessivaScores& AScores, const TFingerRange& ARange,
                                        int AThreshold, int AGallerySize, uint32_t AGallerySeed);

// The lowest threshold from 1 whose false match rate is at most AMaxRate; past the highest score
// when no threshold gives it.
int ThresholdAtFalseMatchRate(const TAccuracyTable& ATable, double AMaxRate);
