#pragma once

#include <memory>
#include <string>

#include "GreyImage.h"
#include "PressAnalysis.h"

class TGLibLoopThread;
class TFprintReader;
struct TPendingScans;

// Turns images into minutiae and quality exactly as the reader engine sees a press: each image
// goes through libfprint's virtual image reader (for benchmarks and tools). Sets the process's
// FP_VIRTUAL_IMAGE to ASocketPath and opens that reader; raises EVirtualImageDevice when it
// cannot. Not to be used while a reader engine of the same process has a reader open.
class TVirtualImageAnalyser {
 public:
  explicit TVirtualImageAnalyser(std::string ASocketPath);
  ~TVirtualImageAnalyser();
  TVirtualImageAnalyser(const TVirtualImageAnalyser&) = delete;
  TVirtualImageAnalyser& operator=(const TVirtualImageAnalyser&) = delete;

  // One press of AImage. A press libfprint rejects (blank, too few minutiae) is poor and has
  // no template.
  TAnalysedPress Analyse(const TGreyImage& AImage);

 private:
  const std::string FSocketPath;
  const std::shared_ptr<TPendingScans> FScans;
  std::shared_ptr<TFprintReader> FReader;  // loop thread only
  const std::shared_ptr<TGLibLoopThread> FLoop;
};
