#pragma once

#include <fprint.h>

#include <deque>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "GreyImage.h"
#include "PressThread.h"

struct TGObjectUnref {
  void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
template <class T>
using TGObjectPtr = std::unique_ptr<T, TGObjectUnref>;

class EFprintReader : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What one press for a match gave: whether the reader made a print of it, the index of the
// print it matched (-1: none), and the time from the start of the press to the result.
struct TFprintMatch {
  bool Scanned = false;
  int Matched = -1;
  double Milliseconds = 0;
};

// libfprint's virtual image reader driven through libfprint's public API only, with libfprint's
// own matcher (NBIS minutiae, bozorth3 at its built-in threshold). Runs libfprint on this
// thread's default main context; each operation presses the images it is given, one each time
// the reader asks for a finger. A rejected press or a stuck operation ends the operation.
class TFprintVirtualReader {
 public:
  // Points FP_VIRTUAL_IMAGE at ASocketPath, so no other libfprint context may be alive.
  explicit TFprintVirtualReader(const std::string& ASocketPath);
  ~TFprintVirtualReader();
  TFprintVirtualReader(const TFprintVirtualReader&) = delete;
  TFprintVirtualReader& operator=(const TFprintVirtualReader&) = delete;

  int EnrolPresses() const;
  // Null when the reader rejected a press or the enrolment failed.
  TGObjectPtr<FpPrint> Enrol(std::span<const TGreyImage* const> APresses);
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
};
