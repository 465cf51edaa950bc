#include "EnrolmentPresses.h"

#include <algorithm>

#include "ReaderScore.h"

namespace {

constexpr int32_t kQualityClassPoor = 1;

}  // namespace

TEnrolmentPresses::TStep TEnrolmentPresses::Add(const TAnalysedPress& APress) {
  if (APress.QualityClass == kQualityClassPoor || !APress.Template || Remaining() <= 0)
    return TStep::NotCounted;
  if (!FCounted.empty() && !MatchesACountedPress(*APress.Template)) {
    ++FStrangers;
    return FStrangers > 1 || FCounted.size() > 1 ? TStep::Failed : TStep::NotCounted;
  }
  FCounted.push_back(*APress.Template);
  return Remaining() > 0 ? TStep::Counted : TStep::Finished;
}

bool TEnrolmentPresses::MatchesACountedPress(const TMinutiaeTemplate& APress) const {
  return std::any_of(FCounted.begin(), FCounted.end(), [&](const TMinutiaeTemplate& ACounted) {
    return ReaderScore(ACounted, APress) >= FThreshold;
  });
}
