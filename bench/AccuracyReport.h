#pragma once

#include <cstdint>

#include "EngineSpeed.h"
#include "FprintMatcherRun.h"
#include "TessivaAccuracy.h"
#include "Timings.h"

// Everything one run measured, for the table and the JSON line.
struct TAccuracyRun {
  int Fingers = 0;
  int Impressions = 0;
  uint32_t FirstFinger = 1;
  int Threshold = 10;
  int TessivaEnrolPresses = 3;
  TTessivaAccuracy Tessiva;
  TTimings CaptureToEventMilliseconds;  // mean, p95
  TEngineSpeed Speed;
  TFprintAccuracy Fprint;
  double Seconds = 0;
};

// | measure | Tessiva | libfprint | goal | with a verdict per goal, then one JSON line.
void PrintAccuracyReport(const TAccuracyRun& ARun);
