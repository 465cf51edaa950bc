#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ErrorDisplay.h"

// Records the errors a modal message box would show. OnShow, if set, runs while the "box" is
// open, for example to run the event loop as a modal box does.
class TRecordingErrorDisplay final : public IErrorDisplay {
 public:
  void ShowError(const std::string& AText) override {
    Errors.push_back(AText);
    if (OnShow) OnShow();
  }

  std::vector<std::string> Errors;
  std::function<void()> OnShow;
};
