#pragma once

#include <cstdint>
#include <vector>

#include "MinutiaeTemplate.h"
#include "PressAnalysis.h"

// The presses of one enrolment and the rule that counts them. Presses of one real finger do not
// all match each other (it lands shifted, turned, pressed harder), so a press counts when it
// matches any press counted before; requiring it to match the first would fail good enrolments
// whose first press was the odd one.
//
// A usable press (good or suspicious) that matches none of the counted presses is the other
// finger's, or an odd press of the right one: while only one press is counted, it may be that
// first press that is odd, so one such press is reported and not counted; a second one, or one
// once two presses agree on the finger, fails the enrolment. Poor presses never count.
class TEnrolmentPresses {
 public:
  enum class TStep { NotCounted, Counted, Finished, Failed };

  // ACount presses to count; two presses are of one finger when they score AThreshold or more.
  TEnrolmentPresses(int32_t ACount, int32_t AThreshold) : FCount(ACount), FThreshold(AThreshold) {}

  TStep Add(const TAnalysedPress& APress);
  // Presses still to count.
  int32_t Remaining() const { return FCount - static_cast<int32_t>(FCounted.size()); }
  const std::vector<TMinutiaeTemplate>& Counted() const { return FCounted; }

 private:
  bool MatchesACountedPress(const TMinutiaeTemplate& APress) const;

  int32_t FCount;
  int32_t FThreshold;
  int32_t FStrangers = 0;
  std::vector<TMinutiaeTemplate> FCounted;
};
