#pragma once

// Presses written by press_templates (PATH CLASS QUALITY TEMPLATE, one line each), read back
// for matching studies. Files named F_K.* are press K of finger F; any other name is a finger
// of its own.

#include <string>
#include <vector>

#include "MinutiaeTemplate.h"

struct TTemplatePress {
  int Finger = 0;
  int Press = 0;
  std::u16string Text;
  TMinutiaeTemplate Template;
};

// Presses with minutiae of fingers AFirstFinger..ALastFinger, in the file's order; throws when
// the file cannot be read or a template does not decode.
std::vector<TTemplatePress> ReadTemplatePresses(const std::string& APath, int AFirstFinger,
                                                int ALastFinger);
