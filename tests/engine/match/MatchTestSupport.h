#pragma once

#include <fstream>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "MatchCommand.h"
#include "MinutiaeTemplate.h"
#include "SyntheticMinutiae.h"

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline TRun RunMatch(const std::vector<std::string>& AArgs) {
  std::ostringstream out, err;
  TRun run;
  run.Status = RunMatchCommand(AArgs, out, err);
  run.Out = out.str();
  run.Err = err.str();
  return run;
}

inline std::string Narrow(const std::u16string& AText) {
  return {AText.begin(), AText.end()};
}

inline void WriteText(const std::string& APath, const std::string& AText) {
  std::ofstream(APath, std::ios::binary) << AText;
}

// Made-up fingers, each enrolled from three presses and pressed again for the probes.
struct TSyntheticFingers {
  explicit TSyntheticFingers(int ACount, unsigned ASeed = 7) {
    std::mt19937 random(ASeed);
    for (int i = 0; i < ACount; ++i) Fingers.push_back(MakeSyntheticFinger(random));
    for (const TMinutiaeTemplate& finger : Fingers) {
      std::vector<TMinutiaeTemplate> presses;
      for (int k = 0; k < 3; ++k) presses.push_back(MakeSyntheticPress(finger, {}, random));
      Enrolled.push_back(Narrow(EncodeTemplateSamples(presses, 10)));
      Probes.push_back(Narrow(EncodeMinutiaeTemplate(MakeSyntheticPress(finger, {}, random), 10)));
    }
  }
  std::vector<TMinutiaeTemplate> Fingers;
  std::vector<std::string> Enrolled;  // "TSF10S:..."
  std::vector<std::string> Probes;    // "TSF10:..."
};
