// tessiva-match answers as the reader engine the bridge drives: the same score, the same best id
// and the same decision for the same templates.
#include <gtest/gtest.h>

#include <string>

#include "EngineTestSupport.h"
#include "FprintFPEngX.h"
#include "MatchTestSupport.h"

namespace {

std::u16string Widen(const std::string& AText) {
  return {AText.begin(), AText.end()};
}

std::string Decision(bool AMatch) {
  return AMatch ? "true" : "false";
}

TEST(BridgeAgreementTest, ScoresIdsAndDecisionsAreTheReaderEngines) {
  TLoopMainThreadQueue queue;
  TFprintFPEngX engine(queue);
  const TSyntheticFingers fingers(6);
  // The last finger is enrolled nowhere: its probe matches nothing.
  const std::size_t enrolledCount = fingers.Enrolled.size() - 1;
  TTempDir dir;
  const std::string gallery = dir.File("gallery.txt");
  std::string lines;
  const int32_t cache = engine.CreateFPCacheDBEx();
  for (std::size_t i = 0; i < enrolledCount; ++i) {
    lines += fingers.Enrolled[i] + "\n";
    const std::u16string text = Widen(fingers.Enrolled[i]);
    ASSERT_EQ(engine.AddRegTemplateStrToFPCacheDBEx(cache, int32_t(i + 1), text, text), 0);
  }
  WriteText(gallery, lines);

  for (const std::string& probe : fingers.Probes) {
    int32_t score = 8, processed = 0;
    const int32_t id = engine.IdentificationInFPCacheDB(cache, Widen(probe), score, processed);
    const TRun identified = RunMatch({probe, "--gallery", gallery});
    EXPECT_EQ(identified.Out, R"({"match":)" + Decision(id != -1) + R"(,"line":)" +
                                  std::to_string(id) + R"(,"score":)" + std::to_string(score) +
                                  R"(,"threshold":10,"compared":)" + std::to_string(processed) +
                                  "}\n");
    EXPECT_EQ(identified.Status, id != -1 ? 0 : 1);

    for (std::size_t i = 0; i < enrolledCount; ++i) {
      std::u16string reference = Widen(fingers.Enrolled[i]);
      bool changed = false;
      const bool verified = engine.VerFingerFromStr(reference, Widen(probe), false, changed);
      const int32_t single = engine.CreateFPCacheDBEx();
      engine.AddRegTemplateStrToFPCacheDBEx(single, 1, reference, reference);
      int32_t singleScore = 8, compared = 0;
      engine.IdentificationInFPCacheDB(single, Widen(probe), singleScore, compared);
      engine.FreeFPCacheDB(single);
      const TRun compared1to1 = RunMatch({probe, fingers.Enrolled[i]});
      EXPECT_EQ(compared1to1.Out, R"({"match":)" + Decision(verified) + R"(,"score":)" +
                                      std::to_string(singleScore) +
                                      R"(,"threshold":10})"
                                      "\n");
      EXPECT_EQ(compared1to1.Status, verified ? 0 : 1);
    }
  }
  engine.FreeFPCacheDB(cache);
}

}  // namespace
