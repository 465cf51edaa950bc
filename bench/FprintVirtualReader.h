#pragma once

#include <fprint.h>

#include <deque>
#include <span>
#include <stdexcept>
#include <string>

#include "GLibPtr.h"
#include "GreyImage.h"
#include "PressThread.h"

class EFprintReader : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What one press for a match gave: whether the reader made a print of it (else libfprint's
// error), the index of the print it matched (-1: none), and the time from the start of the
// press to the result.
struct TFprintMatch {
  bool Scanned = false;
  std::string Error;
  int Matched = -1;
  double Milliseconds = 0;
};

// libfprint's virtual image reader driven through libfprint's public API only, with libfprint's
// own matcher (NBIS minutiae, bozorth3 at its built-in threshold). Runs libfprint on GLib's
// global default main context from this thread, so no engine's loop thread may own it then; each operation presses the images it is given, one each time
// the reader asks for a finger. A rejected press or a stuck operation ends the operation.
class TFprintVirtualReader {
 public:
  // Points FP_VIRTUAL_IMAGE at ASocketPath, so no other libfprint context may be alive.
  explicit TFprintVirtualReader(const std::string& ASocketPath);
  ~TFprintVirtualReader();
  TFprintVirtualReader(const TFprintVirtualReader&) = delete;
  TFprintVirtualReader& operator=(const TFprintVirtualReader&) = delete;

  int EnrolPresses() const;
  // How long operations have run on this reader. libfprint models a reader's heat: one in use
  // for a few minutes turns hot and refuses to scan until it has cooled, three times as long.
  double SecondsInUse() const { return FSecondsInUse; }
  // Null when the reader rejected a press or the enrolment failed; AError then tells why.
  TGObjectPtr<FpPrint> Enrol(std::span<const TGreyImage* const> APresses, std::string& AError);
  TFprintMatch Verify(FpPrint* AEnrolled, const TGreyImage& AProbe);
  // Matched is the index in AGallery of the first print at or above libfprint's threshold.
  TFprintMatch Identify(std::span<FpPrint* const> AGallery, const TGreyImage& AProbe);

 private:
  class TOperation;
  static void FingerStatusChanged(GObject* ADevice, GParamSpec* ASpec, gpointer ASelf);
  void PressWhenAsked();
  // A press that could not be written leaves the reader waiting: that ends the benchmark.
  void CheckPresses();
  double MillisecondsSincePress();

  TGObjectPtr<FpContext> FContext;
  TGObjectPtr<FpDevice> FDevice;
  gulong FStatusHandler = 0;
  TPressThread FPresser;
  std::deque<const TGreyImage*> FPending;
  bool FAsking = false;
  GCancellable* FCancellable = nullptr;  // the running operation's
  double FSecondsInUse = 0;
};
