#pragma once

#include "AccuracyTable.h"
#include "TessivaTemplates.h"

// The engine's scores (fused over an enrolment's samples, as its 1:1 and 1:N compare) over every
// pair of an enrolment and a probe press: genuine when both are of one finger, impostor
// otherwise. A finger without enrolment or a press without template scores 0 in its genuine pairs
// (a false non-match at any threshold above 0) and is left out of the impostor pairs. Identification, in the probe's
// gallery of AGallerySize (IdentificationGallery.h): the probe goes to the best scoring
// enrolment at or above the threshold, as the 1:N cache does.
struct TTessivaAccuracy {
  TAccuracyTable Table;
  // The same without the genuine pairs of fingers the engine did not enrol: the matcher alone.
  TAccuracyTable EnrolledTable;
  int FailedEnrolments = 0;
  int FailedCaptures = 0;
  int Identifications = 0;
  int CorrectIdentifications = 0;
  double EnrolledMinutiae = 0;  // mean per template
  double ProbeMinutiae = 0;
};

TTessivaAccuracy ScoreTessivaTemplates(const TTessivaTemplates& ATemplates, int AThreshold, int AGallerySize);

// The lowest threshold whose false match rate is at most AMaxRate; past the highest score
// when no threshold gives it.
int ThresholdAtFalseMatchRate(const TAccuracyTable& ATable, double AMaxRate);
