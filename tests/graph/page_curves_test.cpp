#include "graph/page_curves.h"

#include <gtest/gtest.h>

#include "graph/level_response.h"
#include "graph/peq_response.h"

namespace corvella::graph {
namespace {

ProgramParameters Silent() {
  ProgramParameters p{};
  ResetParameters(p);
  for (auto& row : p.outputPeq) {
    for (auto& band : row) band.type = 0;
  }
  for (auto& row : p.inputPeq) {
    for (auto& band : row) band.type = 0;
  }
  p.crossover[0] = {2, kHpfOff, 2, kLpfOff};
  p.crossover[1] = {2, kHpfOff, 2, kLpfOff};
  return p;
}

TEST(InputLevelLine, WholeDbAtItsOwnScale) {
  EXPECT_EQ(InputLevelRow(181), 56);
  EXPECT_EQ(InputLevelRow(182), 56);  // +0.5 dB is drawn at 0 dB
  EXPECT_EQ(InputLevelRow(205), 23);
  EXPECT_EQ(InputLevelRow(1), 306);
  EXPECT_EQ(InputLevelWholeDb(0), -90);
  EXPECT_EQ(InputLevelWholeDb(183), 1);
}

TEST(PageCurves, FlatWhenNothingIsOn) {
  const ProgramParameters p = Silent();
  const PageCurves out = OutputPageCurves(p, 1);
  EXPECT_EQ(out.bandCount, 6);
  EXPECT_FALSE(out.crossoverIncluded);
  for (double db : out.sum) EXPECT_EQ(db, 0.0);
  for (int row : RowsForCurve(out.sum, kOutputPixelsPerDb)) EXPECT_EQ(row, 56);
  for (const auto& band : p.outputPeq) EXPECT_EQ(BandMarkerX(band[1]), -5);

  // A stale table is ignored while both filters are off.
  Curve stale{};
  stale.fill(-40.0);
  for (double db : OutputPageCurves(p, 0, stale.data()).sum) EXPECT_EQ(db, 0.0);
}

TEST(PageCurves, OutputSumsItsBandsAndItsCrossover) {
  ProgramParameters p = Silent();
  p.crossover[0] = {11, 69, 0, kLpfOff};  // only a -24 dB Linkwitz-Riley high-pass at 1 kHz
  PageCurves high = OutputPageCurves(p, 0);
  EXPECT_TRUE(high.crossoverIncluded);
  EXPECT_NEAR(high.sum[69], -6.02, 0.005);
  EXPECT_EQ(WholeOutputCurve(p, 0), high.sum);
  EXPECT_EQ(GraphPointX[69], 328);

  p.outputPeq[3][0] = {1, 69, 48, 46};  // +12 dB at the same point
  p.outputPeq[4][1] = {1, 20, 48, 46};  // belongs to the other output
  high = OutputPageCurves(p, 0);
  EXPECT_NEAR(high.bands[3][69], 12.0, 1e-9);
  EXPECT_NEAR(high.sum[69], 12.0 - 6.02, 0.005);
  for (double db : high.bands[4]) EXPECT_EQ(db, 0.0);
  for (std::size_t k = 0; k < high.sum.size(); ++k) {
    EXPECT_DOUBLE_EQ(high.sum[k], high.bands[3][k] + high.crossover[k]);
  }
}

TEST(PageCurves, InputSumsItsTwoBandsOnly) {
  ProgramParameters p = Silent();
  p.inputPeq[0][1] = {1, 69, 36, 46};  // LINE band 1, +6 dB
  p.inputPeq[1][1] = {1, 69, 36, 46};  // LINE band 2, +6 dB
  p.crossover[1] = {11, 69, 0, kLpfOff};
  const PageCurves line = InputPageCurves(p, 1);
  EXPECT_EQ(line.bandCount, 2);
  EXPECT_FALSE(line.crossoverIncluded);
  EXPECT_NEAR(line.sum[69], 12.0, 1e-9);
  EXPECT_EQ(RowForDb(line.sum[69], kInputPeqPixelsPerDb), 23);
  for (double db : InputPageCurves(p, 0).sum) EXPECT_EQ(db, 0.0);
  // A channel index past the end is held to the last channel.
  EXPECT_EQ(InputPageCurves(p, 7).sum, line.sum);
}

}  // namespace
}  // namespace corvella::graph
