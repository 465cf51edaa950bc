#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EngineSpeed.h"
#include "FingerRange.h"
#include "FprintMatcherRun.h"
#include "TessivaAccuracy.h"
#include "TessivaEngineRun.h"
#include "TessivaIdentification.h"
#include "Timings.h"

// Everything one set's run measured, for its table and its JSON line.
struct TAccuracyRun {
  std::string Name;         // "generated" or the folder's name
  std::string Description;  // where the presses come from
  // Whether the threshold was set on these fingers, and which of them were not used for it.
  std::string Calibration;
  std::vector<TFingerRange> Groups;  // all fingers first, then those reported apart
  int Fingers = 0;
  int Impressions = 0;
  int Threshold = 10;
  TTessivaProtocol Protocol;
  int TessivaEngines = 1;  // engines made in turn, each with a new reader
  int GallerySize = 0;
  uint32_t GallerySeed = 0;
  TTessivaTemplates Templates;
  TTessivaScores Scores;
  std::vector<TTessivaIdentification> Identifications;
  TStrangerCheck Strangers;
  TEngineSpeed Speed;
  TFprintAccuracy FprintUsual;  // enrolled as libfprint asks
  TFprintAccuracy FprintSame;   // enrolled with our enrolment presses, probed with our probes
  double Seconds = 0;
  double LoadAverage = 0;  // the machine's one-minute load at the end: other work shares the cores
};

// | measure | Tessiva | libfprint (2 protocols) | goal | with a verdict per goal, then one JSON
// line.
void PrintAccuracyReport(const TAccuracyRun& ARun);
