#pragma once

#include <cstdint>

// What the simulated sensor reports to whoever drives it: the outcome of one touch and the
// sensor's state.

// The quality class the engine passes as AQuality of OnFeatureInfo.
inline constexpr int32_t kQualityClassGood = 0;
inline constexpr int32_t kQualityClassPoor = 1;
inline constexpr int32_t kQualityClassSuspicious = -1;
// Images below this quality are poor: reported, but not counted in an enrolment.
inline constexpr int32_t kPoorQualityBelow = 50;

inline int32_t QualityClassOf(int32_t AQuality, bool ASuspicious) {
  if (ASuspicious) return kQualityClassSuspicious;
  return AQuality < kPoorQualityBelow ? kQualityClassPoor : kQualityClassGood;
}

enum class TTouchOutcome {
  IgnoredUnplugged,       // no sensor attached
  IgnoredEngineOff,       // InitEngine not called, or EndEngine since
  IgnoredReaderInUse,     // off because a reader serves instead
  Captured,               // OnFeatureInfo and OnCapture raised
  EnrollPressCounted,     // OnFeatureInfo raised; one press fewer due
  EnrollPressNotCounted,  // OnFeatureInfo raised; poor or suspicious image
  EnrollFinished,         // last press: OnEnroll(true, template) raised
  EnrollFailed,           // a different finger than the first press: OnEnroll(false, "")
  Superseded,             // mode changed, engine ended or another press came during the touch
};

struct TTouchResult {
  TTouchOutcome Outcome = TTouchOutcome::IgnoredEngineOff;
  int32_t Quality = 0;
  int32_t QualityClass = kQualityClassGood;
  int32_t EnrollDue = 0;  // presses still due after this touch, while enrolling
};

struct TSensorStatus {
  bool Plugged = false;
  bool EngineOn = false;
  bool Enrolling = false;
  int32_t EnrollDue = 0;
  bool Capturing = false;
};
