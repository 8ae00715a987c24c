#include "graph/graph_frame.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvella::graph {
namespace {

TEST(GraphFrame, EvaluationListsAroundTheScale) {
  EXPECT_DOUBLE_EQ(GraphFrequencyList[0], 20.0);
  EXPECT_DOUBLE_EQ(GraphFrequencyList[67], 950.0);
  EXPECT_DOUBLE_EQ(GraphFrequencyList[68], 1000.0);
  EXPECT_DOUBLE_EQ(GraphFrequencyList[120], 20000.0);
  EXPECT_DOUBLE_EQ(GraphFrequencyList[121], 20700.0);

  // The high-pass list is shifted by one so that entry k is the frequency of code k.
  EXPECT_DOUBLE_EQ(HpfFrequencyList[0], 16.0);
  for (int k = 1; k < kGraphPoints; ++k) {
    EXPECT_DOUBLE_EQ(HpfFrequencyList[static_cast<std::size_t>(k)], FrequencyHz(k)) << k;
  }
}

TEST(GraphFrame, PointColumnsMatchTheGrid) {
  EXPECT_EQ(GraphPointX[0], -5);
  EXPECT_EQ(GraphPointX[1], 0);
  EXPECT_EQ(GraphPointX[29], 135);   // 100 Hz
  EXPECT_EQ(GraphPointX[69], 328);   // 1 kHz
  EXPECT_EQ(GraphPointX[109], 523);  // 10 kHz, one column right of the grid line at 522
  EXPECT_EQ(GraphPointX[121], 579);
  for (std::size_t k = 1; k < GraphPointX.size(); ++k)
    EXPECT_LT(GraphPointX[k - 1], GraphPointX[k]);

  EXPECT_EQ(PointIndex(-1), 0u);
  EXPECT_EQ(PointIndex(0), 0u);
  EXPECT_EQ(PointIndex(121), 121u);
  EXPECT_EQ(PointIndex(122), 121u);
  EXPECT_EQ(PointIndex(200), 121u);
}

TEST(GraphFrame, RowsTruncateTowardZero) {
  EXPECT_EQ(RowForDb(0.0, kOutputPixelsPerDb), 56);
  EXPECT_EQ(RowForDb(-3.01, kOutputPixelsPerDb), 64);
  EXPECT_EQ(RowForDb(-6.02, kOutputPixelsPerDb), 72);
  EXPECT_EQ(RowForDb(12.0, kInputPeqPixelsPerDb), 23);
  EXPECT_EQ(RowForDb(20.0, kInputPeqPixelsPerDb), 0);
  EXPECT_EQ(RowForDb(20.0, kOutputPixelsPerDb), 1);
  EXPECT_EQ(RowForDb(-60.0, kOutputPixelsPerDb), 221);
  // -1.4 px truncates to -1 (row 57), where rounding down would give row 58.
  EXPECT_EQ(RowForDb(-0.5, kInputPeqPixelsPerDb), 57);
  EXPECT_EQ(RowForDb(0.5, kInputPeqPixelsPerDb), 55);

  // Values no graph can show still give a row far outside it, never undefined behaviour.
  EXPECT_GT(RowForDb(-1.0e300, kOutputPixelsPerDb), 10000);
  EXPECT_GT(RowForDb(-std::numeric_limits<double>::infinity(), kOutputPixelsPerDb), 10000);
  EXPECT_GT(RowForDb(std::numeric_limits<double>::quiet_NaN(), kOutputPixelsPerDb), 10000);
  EXPECT_LT(RowForDb(1.0e300, kOutputPixelsPerDb), -10000);
}

}  // namespace
}  // namespace corvella::graph
