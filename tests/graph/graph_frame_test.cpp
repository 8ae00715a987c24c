#include "graph/graph_frame.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvella::graph {
namespace {

TEST(GraphFrame, ListsAndColumnsAroundTheScale) {
  EXPECT_DOUBLE_EQ(GraphFrequencyList[68], 1000.0);
  EXPECT_DOUBLE_EQ(GraphFrequencyList[121], 20700.0);
  EXPECT_DOUBLE_EQ(HpfFrequencyList[0], 16.0);
  EXPECT_DOUBLE_EQ(HpfFrequencyList[69], 1000.0);
  EXPECT_EQ(GraphPointX[69], 328);  // code 69, 1 kHz, on its grid line
  for (std::size_t k = 1; k < GraphPointX.size(); ++k)
    EXPECT_LT(GraphPointX[k - 1], GraphPointX[k]);
  EXPECT_EQ(PointIndex(-1), 0u);
  EXPECT_EQ(PointIndex(200), 121u);
}

TEST(GraphFrame, RowsTruncateTowardZero) {
  EXPECT_EQ(RowForDb(-3.01, kOutputPixelsPerDb), 64);
  EXPECT_EQ(RowForDb(12.0, kInputPeqPixelsPerDb), 23);
  EXPECT_EQ(RowForDb(20.0, kInputPeqPixelsPerDb), 0);
  EXPECT_EQ(RowForDb(20.0, kOutputPixelsPerDb), 1);
  EXPECT_EQ(RowForDb(-60.0, kOutputPixelsPerDb), 221);
  EXPECT_EQ(RowForDb(-0.5, kInputPeqPixelsPerDb), 57);  // -1.4 px; rounding down would give 58

  // Values no graph can show still give a row far outside it, never undefined behaviour.
  EXPECT_GT(RowForDb(-std::numeric_limits<double>::infinity(), kOutputPixelsPerDb), 10000);
  EXPECT_GT(RowForDb(std::numeric_limits<double>::quiet_NaN(), kOutputPixelsPerDb), 10000);
  EXPECT_LT(RowForDb(1.0e300, kOutputPixelsPerDb), -10000);
}

}  // namespace
}  // namespace corvella::graph
