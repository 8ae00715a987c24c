#include "graph/crossover_response.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvella::graph {
namespace {

constexpr std::uint8_t kOff = 0;

CrossoverSettings HighPass(int type, int code) {
  return {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code), 0, kLpfOff};
}
CrossoverSettings LowPass(int type, int code) {
  return {0, kOff, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code)};
}

TEST(CrossoverResponse, EveryButterworthAndBesselIsHalfPowerAtItsCutOff) {
  for (int type = 0; type <= 9; ++type) {
    EXPECT_NEAR(FilterTermDb(type, 1.0), -3.01, 0.005) << type;
    for (int code : {1, 33, 69, 121}) {
      const Curve hp = ComputeCrossover(HighPass(type, code));
      const Curve lp = ComputeCrossover(LowPass(type, code));
      EXPECT_NEAR(hp[static_cast<std::size_t>(code)], -3.01, 0.005) << type << " hp " << code;
      EXPECT_NEAR(lp[static_cast<std::size_t>(code)], -3.01, 0.005) << type << " lp " << code;
      EXPECT_EQ(RowForDb(hp[static_cast<std::size_t>(code)], kOutputPixelsPerDb), 64);
    }
  }
}

TEST(CrossoverResponse, LinkwitzRileyIsMinusSixAtItsCutOff) {
  for (int type : {10, 11}) {
    const Curve hp = ComputeCrossover(HighPass(type, 69));
    const Curve lp = ComputeCrossover(LowPass(type, 40));
    EXPECT_NEAR(hp[69], -6.02, 0.005) << type;
    EXPECT_NEAR(lp[40], -6.02, 0.005) << type;
    EXPECT_EQ(RowForDb(hp[69], kOutputPixelsPerDb), 72);
  }
}

TEST(CrossoverResponse, SlopesPerFamilyAndOrder) {
  // -24 dB Butterworth high-pass one octave above a point: about -24.1 dB there.
  const Curve bw24 = ComputeCrossover(HighPass(2, 69));
  EXPECT_NEAR(bw24[69 - 12], -24.1, 0.05);
  // Each Butterworth order adds 6 dB per octave far from the cut-off.
  for (int type = 0; type <= 4; ++type) {
    const double perOctave = FilterTermDb(type, 64.0) - FilterTermDb(type, 128.0);
    EXPECT_NEAR(perOctave, 6.0206 * (type + 2), 0.01) << type;
  }
  // Linkwitz-Riley 24 falls as fast as a fourth-order Butterworth.
  EXPECT_NEAR(FilterTermDb(11, 64.0) - FilterTermDb(11, 128.0), 24.08, 0.01);
  // Bessel of every order passes the band flat far below a low-pass cut-off and rises steadily.
  for (int type = 5; type <= 9; ++type) {
    EXPECT_NEAR(FilterTermDb(type, 0.01), 0.0, 0.01) << type;
    EXPECT_LT(FilterTermDb(type, 4.0), FilterTermDb(type, 2.0)) << type;
  }
  // The pass band of a high-pass is flat too.
  EXPECT_NEAR(ComputeCrossover(HighPass(7, 13))[121], 0.0, 0.001);
}

TEST(CrossoverResponse, FiltersThatAreOffAddNothing) {
  for (double db : ComputeCrossover({4, kOff, 9, kLpfOff})) EXPECT_EQ(db, 0.0);
  // Codes outside the scale are taken as Off, like the repair does.
  for (double db : ComputeCrossover({4, 122, 9, 0})) EXPECT_EQ(db, 0.0);
  for (double db : ComputeCrossover({4, 255, 9, 200})) EXPECT_EQ(db, 0.0);
  // Unknown types contribute 0 dB.
  for (double db : ComputeCrossover({12, 60, 200, 70})) EXPECT_EQ(db, 0.0);
}

TEST(CrossoverResponse, BothFiltersAddInDb) {
  const CrossoverSettings both{2, 30, 4, 90};
  const Curve sum = ComputeCrossover(both);
  const Curve hp = ComputeCrossover(HighPass(2, 30));
  const Curve lp = ComputeCrossover(LowPass(4, 90));
  for (std::size_t k = 0; k < sum.size(); ++k) EXPECT_NEAR(sum[k], hp[k] + lp[k], 1e-9);

  // A low-pass below the high-pass leaves nothing: far below 0 dB at every point.
  const Curve crossed = ComputeCrossover({4, 100, 4, 20});
  for (double db : crossed) EXPECT_LT(db, -15.0);

  // The pointer form fills the shared table in place.
  CrossoverResponse shared;
  ComputeCrossover(both, shared.db[1]);
  EXPECT_DOUBLE_EQ(shared.db[1][50], sum[50]);
  EXPECT_EQ(shared.db[0][50], 0.0);
}

TEST(CrossoverResponse, MarkersSitOnTheCutOffsOrOffTheEdges) {
  const CrossoverSettings on{2, 33, 11, 69};
  const Rows rows = RowsForCurve(ComputeCrossover(on), kOutputPixelsPerDb);
  const CrossoverMarkers m = MarkersFor(on, rows);
  EXPECT_EQ(m.hpfX, GraphPointX[33]);
  EXPECT_EQ(m.hpfRow, rows[33]);
  EXPECT_EQ(m.lpfX, 328);
  EXPECT_EQ(m.lpfRow, rows[69]);

  const CrossoverSettings off{2, kOff, 2, kLpfOff};
  const CrossoverMarkers o = MarkersFor(off, RowsForCurve(ComputeCrossover(off), 2.75));
  EXPECT_EQ(o.hpfX, -5);
  EXPECT_EQ(o.hpfRow, 56);
  EXPECT_EQ(o.lpfX, 590);
  EXPECT_EQ(o.lpfRow, 56);
}

}  // namespace
}  // namespace corvella::graph
