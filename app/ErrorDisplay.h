#pragma once

#include <string>

// Shows an error raised on the main thread (start-up, "Change", a queued procedure) to the user.
class IErrorDisplay {
 public:
  virtual ~IErrorDisplay() = default;
  // AText is UTF-8.
  virtual void ShowError(const std::string& AText) = 0;
};

// The application's error message box: window title "Tessiva", critical icon, modal.
class TMessageBoxErrorDisplay final : public IErrorDisplay {
 public:
  void ShowError(const std::string& AText) override;
};

// Without a display nobody could close a message box: the text goes to standard error.
class TStderrErrorDisplay final : public IErrorDisplay {
 public:
  void ShowError(const std::string& AText) override;
};

// To be called inside a catch block: shows the exception being handled, unless it only marks
// control flow (EAbort, EIdSilentException).
void ShowCurrentException(IErrorDisplay& AErrors);
