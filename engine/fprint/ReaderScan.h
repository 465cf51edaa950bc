#pragma once

#include <string>
#include <vector>

#include "GreyImage.h"
#include "Minutia.h"

// What one arming of the reader ended with, or what became of the reader's arming.
enum class TScanKind {
  Image,    // a press: its image and minutiae
  Retry,    // a press the reader could not use (blank, too short, off centre)
  Removed,  // the reader was unplugged
  Failed,   // any other error; the reader stays armed
  TooHot,   // libfprint refuses the reader as too hot: no press can be read for a while
  Cooled,   // armed again after being too hot
};

struct TReaderScan {
  TScanKind Kind = TScanKind::Failed;
  TGreyImage Image;
  std::vector<TMinutia> Minutiae;
  std::string Detail;  // the reader's message, for a scan without image; for the log when hot
};
