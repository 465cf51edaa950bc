#include "PressAnalysis.h"

#include "PressQuality.h"

TAnalysedPress AnalysePress(const TReaderScan& AScan) {
  TAnalysedPress press;
  if (AScan.Kind != TScanKind::Image) return press;
  const TPressQuality quality = MeasurePressQuality(AScan.Image, AScan.Minutiae);
  press.QualityClass = quality.FeatureInfo;
  press.Quality = quality.Quality;
  press.Template = TMinutiaeTemplate{AScan.Image.Width, AScan.Image.Height, quality.Quality,
                                     AScan.Minutiae};
  return press;
}
