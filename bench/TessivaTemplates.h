#pragma once

#include <optional>
#include <string>
#include <vector>

#include "MinutiaeTemplate.h"

// What the engine made of a set's presses: per finger its enrolment and one template per probe
// press, as texts and decoded; an empty text where the engine gave none.
struct TTessivaTemplate {
  std::u16string Text;
  std::optional<std::vector<TMinutiaeTemplate>> Samples;  // a press's one, an enrolment's presses
};

// One finger's enrolment as a person makes it: presses 1, 2, ... in order until the engine ends
// the enrolment, at most a given number.
struct TTessivaEnrolment {
  TTessivaTemplate Template;  // empty when the engine did not enrol the finger
  int Presses = 0;            // the presses the engine took
};

struct TTessivaTemplates {
  // Enrolled from the protocol's first presses alone: empty when the engine needed more.
  std::vector<TTessivaTemplate> Enrolled;
  std::vector<TTessivaEnrolment> Enrolments;
  std::vector<std::vector<TTessivaTemplate>> Probes;
  std::vector<double> CaptureToEventMilliseconds;  // per probe, in the order of Probes
  int Presses = 0;      // every press the engine rated, enrolling and capturing
  int PoorPresses = 0;  // of them, those it did not rate good (OnFeatureInfo class other than 0)
};
