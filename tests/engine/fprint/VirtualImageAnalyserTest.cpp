#include "VirtualImageAnalyser.h"

#include <gmock/gmock.h>

#include "FingerImages.h"
#include "ReaderFixture.h"

namespace {

TEST(VirtualImageAnalyser, RatesEachImageAsAPressOnTheReader) {
  TVirtualImageAnalyser analyser(VirtualReaderPath());
  const TGreyImage finger = fingers::FingerImpression(8, 1);
  const TAnalysedPress first = analyser.Analyse(finger);
  EXPECT_EQ(first.QualityClass, 0);
  EXPECT_GT(first.Quality, 0);
  ASSERT_TRUE(first.Template);
  EXPECT_EQ(first.Template->Width, kSyntheticWidth);
  EXPECT_EQ(first.Template->Height, kSyntheticHeight);
  EXPECT_GE(first.Template->Minutiae.size(), 10u);

  const TAnalysedPress blank = analyser.Analyse(fingers::Blank());
  EXPECT_NE(blank.QualityClass, 0);
  EXPECT_FALSE(blank.Template);

  // The same image gives the same minutiae: nothing of one press leaks into the next.
  const TAnalysedPress again = analyser.Analyse(finger);
  ASSERT_TRUE(again.Template);
  ASSERT_EQ(again.Template->Minutiae.size(), first.Template->Minutiae.size());
  for (size_t i = 0; i < again.Template->Minutiae.size(); ++i) {
    EXPECT_EQ(again.Template->Minutiae[i].X, first.Template->Minutiae[i].X);
    EXPECT_EQ(again.Template->Minutiae[i].Y, first.Template->Minutiae[i].Y);
    EXPECT_EQ(again.Template->Minutiae[i].Direction, first.Template->Minutiae[i].Direction);
  }
}

}  // namespace
