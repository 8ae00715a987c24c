#include "graph/page_curves.h"

#include <gtest/gtest.h>

#include "graph/level_response.h"
#include "graph/peq_response.h"

namespace corvella::graph {
namespace {

ProgramParameters Silent() {
  ProgramParameters p{};
  ResetParameters(p);
  for (auto& row : p.outputPeq) row[0].type = row[1].type = 0;
  for (auto& row : p.inputPeq) row[0].type = row[1].type = 0;
  p.crossover[0] = p.crossover[1] = {2, kHpfOff, 2, kLpfOff};
  return p;
}

TEST(InputLevelLine, WholeDbAtItsOwnScale) {
  EXPECT_EQ(InputLevelRow(181), 56);
  EXPECT_EQ(InputLevelRow(182), 56);  // +0.5 dB is drawn at 0 dB
  EXPECT_EQ(InputLevelRow(205), 23);
  EXPECT_EQ(InputLevelRow(1), 306);
  EXPECT_EQ(InputLevelWholeDb(0), -90);
}

TEST(PageCurves, FlatWhenNothingIsOnEvenWithAStaleCrossoverTable) {
  const ProgramParameters p = Silent();
  Curve stale{};
  stale.fill(-40.0);
  const PageCurves out = OutputPageCurves(p, 1, stale.data());
  EXPECT_FALSE(out.crossoverIncluded);
  for (int row : RowsForCurve(out.sum, kOutputPixelsPerDb)) EXPECT_EQ(row, 56);
}

TEST(PageCurves, OutputSumsItsOwnBandsAndItsCrossover) {
  ProgramParameters p = Silent();
  p.crossover[0] = {11, 69, 0, kLpfOff};  // only a -24 dB Linkwitz-Riley high-pass at 1 kHz
  EXPECT_NEAR(WholeOutputCurve(p, 0)[69], -6.02, 0.005);

  p.outputPeq[3][0] = {1, 69, 48, 46};  // +12 dB at the same point
  p.outputPeq[4][1] = {1, 20, 48, 46};  // belongs to the other output
  const PageCurves high = OutputPageCurves(p, 0);
  EXPECT_TRUE(high.crossoverIncluded);
  EXPECT_NEAR(high.sum[69], 12.0 - 6.02, 0.005);
  for (std::size_t k = 0; k < high.sum.size(); ++k) {
    EXPECT_DOUBLE_EQ(high.sum[k], high.bands[3][k] + high.crossover[k]);
  }
}

TEST(PageCurves, InputSumsItsTwoBandsOnly) {
  ProgramParameters p = Silent();
  p.inputPeq[0][1] = p.inputPeq[1][1] = {1, 69, 36, 46};  // LINE, two bands of +6 dB
  p.crossover[1] = {11, 69, 0, kLpfOff};
  const PageCurves line = InputPageCurves(p, 1);
  EXPECT_EQ(line.bandCount, 2);
  EXPECT_EQ(RowForDb(line.sum[69], kInputPeqPixelsPerDb), 23);
  for (double db : InputPageCurves(p, 0).sum) EXPECT_EQ(db, 0.0);
  EXPECT_EQ(InputPageCurves(p, 7).sum, line.sum);  // a channel past the end is the last one
}

TEST(ResponseSummary, SaysFlatOrTheLargestBoostAndCutWithTheirFrequencies) {
  Curve flat{};
  flat.fill(-3.0);
  Curve shaped{};
  shaped[68] = 6.04;   // 1 kHz
  shaped[12] = -24.0;  // 40 Hz
  Curve cutOnly{};
  cutOnly[120] = -12.0;  // 20 kHz
  Curve whisper{};
  whisper[50] = 0.04;  // nothing the graph draws apart
  const std::pair<Curve, std::string> cases[] = {
      {flat, "flat at -3.0 dB"},
      {shaped, "largest boost +6.0 dB at 1 kHz, largest cut -24.0 dB at 40 Hz"},
      {cutOnly, "no boost, largest cut -12.0 dB at 20 kHz"},
      {whisper, "flat at +0.0 dB"},
  };
  for (const auto& [curve, text] : cases) EXPECT_EQ(ResponseSummary(curve), text);
}

}  // namespace
}  // namespace corvella::graph
