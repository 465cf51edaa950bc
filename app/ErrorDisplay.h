#pragma once

#include <string>
#include <vector>

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

// Holds errors until Release, then passes them and every later one to ATarget. A headless
// start-up uses it so that a start that fails prints only why, and one that succeeds still
// prints the warnings it had.
class THeldErrorDisplay final : public IErrorDisplay {
 public:
  explicit THeldErrorDisplay(IErrorDisplay& ATarget) : FTarget(ATarget) {}
  void ShowError(const std::string& AText) override;
  void Release();

 private:
  IErrorDisplay& FTarget;
  bool FHolding = true;
  std::vector<std::string> FHeld;
};

// To be called inside a catch block: shows the exception being handled, unless it only marks
// control flow (EAbort, EIdSilentException).
void ShowCurrentException(IErrorDisplay& AErrors);
