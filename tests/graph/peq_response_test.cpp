#include "graph/peq_response.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvella::graph {
namespace {

constexpr std::uint8_t GainCode(double db) {
  return static_cast<std::uint8_t>((db + 12.0) * 2.0);
}

TEST(PeqResponse, PeakingBandAt1kHzPeaksOnItsOwnColumn) {
  const PeqBand band{1, 69, GainCode(12.0), 46};
  const Curve curve = BandCurve(band);
  EXPECT_NEAR(curve[69], 12.0, 1e-9);
  EXPECT_EQ(RowForDb(curve[69], kInputPeqPixelsPerDb), 23);
  EXPECT_EQ(BandMarkerX(band), 328);
  EXPECT_EQ(*std::max_element(curve.begin(), curve.end()), curve[69]);
  EXPECT_NEAR(curve[1], 0.0, 0.01);
  // Symmetric in log frequency about its centre (1.06 kHz on the list).
  EXPECT_NEAR(BandResponseDb(band, 530.0), BandResponseDb(band, 2120.0), 1e-9);
  EXPECT_NEAR(BandCurve({1, 69, GainCode(-12.0), 46})[69], -12.0, 1e-9);
}

TEST(PeqResponse, ShelvesReachTheirGainOnOneSideOnly) {
  const Curve hi = BandCurve({3, 69, GainCode(9.0), 0});
  EXPECT_NEAR(hi[0], 0.0, 0.01);
  EXPECT_NEAR(hi[69], 4.5, 0.01);  // half the gain at the corner
  EXPECT_NEAR(hi[121], 9.0, 0.05);
  const Curve lo = BandCurve({4, 69, GainCode(-6.0), 0});
  EXPECT_NEAR(lo[0], -6.0, 0.05);
  EXPECT_NEAR(lo[121], 0.0, 0.01);
  EXPECT_EQ(BandCurve({3, 69, GainCode(9.0), 72}), hi);  // Q plays no part in a shelf
  // No gain, no effect, for peaking and both shelves.
  for (std::uint8_t type : {std::uint8_t{1}, std::uint8_t{3}, std::uint8_t{4}}) {
    for (double db : BandCurve({type, 40, GainCode(0.0), 10})) EXPECT_NEAR(db, 0.0, 1e-9);
  }
}

TEST(PeqResponse, BandpassAndNotchAtTheirCentre) {
  const PeqBand narrow{2, 60, 0, 72};
  const Curve bandpass = BandCurve(narrow);
  EXPECT_NEAR(bandpass[60], 0.0, 1e-9);
  // One octave off (315 Hz against 630 Hz) a Q of 19.4 leaves about -29.3 dB, and it keeps falling.
  EXPECT_NEAR(bandpass[48], -29.28, 0.01);
  EXPECT_NEAR(BandResponseDb(narrow, 1260.0), -29.28, 0.01);
  EXPECT_LT(bandpass[0], bandpass[48]);

  // The notch bottoms out at 20 log10(0.0001) = -80 dB instead of minus infinity.
  const Curve notch = BandCurve({5, 69, 24, 46});
  EXPECT_NEAR(notch[69], -80.0, 1e-9);
  EXPECT_GT(RowForDb(notch[69], kOutputPixelsPerDb), kGraphHeight);
  EXPECT_NEAR(notch[0], 0.0, 0.01);
}

TEST(PeqResponse, CodesOutsideTheirRangesStayInsideTheTables) {
  // Frequency code 0 is centred on point 0 (20 Hz), its marker off the graph.
  const PeqBand low{1, 0, 48, 46};
  EXPECT_NEAR(BandCurve(low)[0], 12.0, 1e-9);
  EXPECT_EQ(BandMarkerX(low), -5);
  // Code 200 is held to the last point, Q code 90 to the last Q.
  EXPECT_EQ(BandCurve({1, 200, 48, 90}), BandCurve({1, 121, 48, 72}));
  // An unknown type has no response and no visible marker, like None.
  for (double db : BandCurve({9, 69, 48, 46})) EXPECT_EQ(db, 0.0);
  EXPECT_EQ(BandMarkerX({9, 69, 48, 46}), -5);
  EXPECT_EQ(BandMarkerX({0, 69, 48, 46}), -5);
}

}  // namespace
}  // namespace corvella::graph
