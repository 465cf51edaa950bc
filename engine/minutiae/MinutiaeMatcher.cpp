#include "MinutiaeMatcher.h"

#include "MatchEvidence.h"
#include "MinutiaeAlignment.h"

int32_t CompareMinutiae(const TMinutiaeTemplate& AEnrolled, const TMinutiaeTemplate& AProbe) {
  return CompareMinutiae(TPreparedTemplate(AEnrolled), TPreparedTemplate(AProbe));
}

int32_t CompareMinutiae(const TPreparedTemplate& AEnrolled, const TPreparedTemplate& AProbe) {
  const TMinutiaeAlignment alignment = AlignMinutiae(AEnrolled, AProbe);
  return ScoreMatchEvidence(MeasureMatchEvidence(AEnrolled, AProbe, alignment));
}
