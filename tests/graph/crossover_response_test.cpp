#include "graph/crossover_response.h"

#include <gtest/gtest.h>

namespace corvella::graph {
namespace {

CrossoverSettings HighPass(int type, int code) {
  return {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code), 0, kLpfOff};
}
CrossoverSettings LowPass(int type, int code) {
  return {0, kHpfOff, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code)};
}

TEST(CrossoverResponse, CutOffPointsSitOnTheCodesColumn) {
  // Butterworth and Bessel of every order: -3.01 dB (row 64) at the cut-off code's point.
  for (int type = 0; type <= 9; ++type) {
    for (int code : {1, 69, 121}) {
      const auto k = static_cast<std::size_t>(code);
      const Curve hp = ComputeCrossover(HighPass(type, code));
      EXPECT_NEAR(hp[k], -3.01, 0.005) << type << " hp " << code;
      EXPECT_NEAR(ComputeCrossover(LowPass(type, code))[k], -3.01, 0.005) << type << " lp " << code;
      EXPECT_EQ(RowForDb(hp[k], kOutputPixelsPerDb), 64);
    }
  }
  // Linkwitz-Riley: -6.02 dB (row 72).
  for (int type : {10, 11}) {
    const Curve hp = ComputeCrossover(HighPass(type, 69));
    EXPECT_NEAR(hp[69], -6.02, 0.005) << type;
    EXPECT_NEAR(ComputeCrossover(LowPass(type, 40))[40], -6.02, 0.005) << type;
    EXPECT_EQ(RowForDb(hp[69], kOutputPixelsPerDb), 72);
  }
}

TEST(CrossoverResponse, SlopesPerFamilyAndOrder) {
  // -24 dB Butterworth high-pass one octave above a point: about -24.1 dB there.
  EXPECT_NEAR(ComputeCrossover(HighPass(2, 69))[69 - 12], -24.1, 0.05);
  for (int type = 0; type <= 4; ++type) {
    EXPECT_NEAR(FilterTermDb(type, 64.0) - FilterTermDb(type, 128.0), 6.0206 * (type + 2), 0.01);
  }
  EXPECT_NEAR(FilterTermDb(11, 64.0) - FilterTermDb(11, 128.0), 24.08, 0.01);
  // Bessel passes flat far below a low-pass cut-off.
  for (int type = 5; type <= 9; ++type) EXPECT_NEAR(FilterTermDb(type, 0.01), 0.0, 0.01);
}

TEST(CrossoverResponse, FiltersThatAreOffAddNothingAndBothAddInDb) {
  // Off, codes outside the scale (taken as Off) and unknown types all give 0 dB.
  for (const CrossoverSettings& x :
       {CrossoverSettings{4, kHpfOff, 9, kLpfOff}, CrossoverSettings{4, 122, 9, 0},
        CrossoverSettings{4, 255, 9, 200}, CrossoverSettings{12, 60, 200, 70}}) {
    for (double db : ComputeCrossover(x)) EXPECT_EQ(db, 0.0);
  }

  const Curve sum = ComputeCrossover({2, 30, 4, 90});
  const Curve hp = ComputeCrossover(HighPass(2, 30));
  const Curve lp = ComputeCrossover(LowPass(4, 90));
  for (std::size_t k = 0; k < sum.size(); ++k) EXPECT_NEAR(sum[k], hp[k] + lp[k], 1e-9);
  // A low-pass below the high-pass leaves nothing anywhere.
  for (double db : ComputeCrossover({4, 100, 4, 20})) EXPECT_LT(db, -15.0);
}

TEST(CrossoverResponse, MarkersSitOnTheCutOffsOrOffTheEdges) {
  const CrossoverSettings on{2, 33, 11, 69};
  const Rows rows = RowsForCurve(ComputeCrossover(on), kOutputPixelsPerDb);
  const CrossoverMarkers m = MarkersFor(on, rows);
  EXPECT_EQ(m.hpfX, GraphPointX[33]);
  EXPECT_EQ(m.hpfRow, rows[33]);
  EXPECT_EQ(m.lpfX, 328);
  EXPECT_EQ(m.lpfRow, rows[69]);

  const CrossoverSettings off{2, kHpfOff, 2, kLpfOff};
  const CrossoverMarkers o = MarkersFor(off, RowsForCurve(ComputeCrossover(off), 2.75));
  EXPECT_EQ((std::array{o.hpfX, o.hpfRow, o.lpfX, o.lpfRow}), (std::array{-5, 56, 590, 56}));
}

}  // namespace
}  // namespace corvella::graph
