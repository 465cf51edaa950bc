#pragma once

#include <optional>
#include <string>
#include <vector>

#include "MinutiaeTemplate.h"

// What the engine made of the generated presses: per finger the enrolment template and one
// template per probe press, as texts and decoded; an empty text where the engine gave none.
struct TTessivaTemplate {
  std::u16string Text;
  std::optional<std::vector<TMinutiaeTemplate>> Samples;  // a press's one, an enrolment's presses
};

struct TTessivaTemplates {
  std::vector<TTessivaTemplate> Enrolled;
  std::vector<std::vector<TTessivaTemplate>> Probes;
  std::vector<double> CaptureToEventMilliseconds;
};
