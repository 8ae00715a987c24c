#include "graph/system_response.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "graph/peq_response.h"
#include "graph/system_test_support.h"
#include "model/scales.h"

namespace corvella::graph {
namespace {

using test::kCode1kHz;
using test::kLr4;
using test::NeutralSet;
using test::TwoWay;

double Db(Complex h) {
  return 20.0 * std::log10(std::abs(h));
}

TEST(SystemResponse, BandMagnitudesAreThePagesFormulasAtTheSameRatio) {
  // The page's PreparedBand with the block's true centre: the same f / fc on both sides.
  for (std::uint8_t type = 1; type <= 5; ++type) {
    for (int gain : {0, 10, 24, 37, 48}) {
      for (int q : {0, 20, 46, 72}) {
        const PeqBand band{type, kCode1kHz, static_cast<std::uint8_t>(gain),
                           static_cast<std::uint8_t>(q)};
        PreparedBand page = PreparedBand::From(band);
        page.fc = 1000.0;
        for (double r : {0.05, 0.3, 0.7, 0.93, 1.0, 1.08, 1.6, 4.0, 20.0}) {
          if (type == 5 && std::fabs(r - 1.0) < 0.2) continue;  // the page's drawing floor
          const double tolerance = type == 5 ? 0.01 : 1e-9;
          EXPECT_NEAR(Db(PeqBandResponse(band, r * 1000.0)), page.ResponseDb(r * 1000.0), tolerance)
              << int(type) << " gain " << gain << " q " << q << " r " << r;
        }
      }
    }
  }
  // Without the page's 0.0001 the notch is a true null at its centre.
  EXPECT_EQ(std::abs(PeqBandResponse({5, kCode1kHz, 24, 30}, 1000.0)), 0.0);
  EXPECT_EQ(PeqBandResponse({0, kCode1kHz, 48, 30}, 1000.0), Complex(1.0));
  EXPECT_EQ(PeqBandResponse({9, kCode1kHz, 48, 30}, 1000.0), Complex(1.0));
}

TEST(SystemResponse, BandsUseTheFrequencyTheirCodeShows) {
  // Code 69 shows 1.00 kHz: a +12 dB peak is there, not at the pages' shifted point (1.06 kHz).
  const PeqBand band{1, kCode1kHz, 48, 46};
  EXPECT_NEAR(Db(PeqBandResponse(band, 1000.0)), 12.0, 1e-9);
  EXPECT_LT(Db(PeqBandResponse(band, GraphFrequencyList[69])), 11.9);
  EXPECT_NEAR(Db(PeqBandResponse({1, 200, 48, 46}, 20000.0)), 12.0, 1e-9);  // held to code 121
}

TEST(SystemResponse, CrossoverMagnitudesAreThePagesTerms) {
  for (int type = 0; type < kCrossoverTypeCount; ++type) {
    for (double r : {0.1, 0.5, 0.9, 1.0, 1.3, 2.0, 8.0}) {
      EXPECT_NEAR(Db(CrossoverFilterResponse(type, false, 500.0, r * 500.0)), FilterTermDb(type, r),
                  1e-9)
          << type << " lp " << r;
      EXPECT_NEAR(Db(CrossoverFilterResponse(type, true, 500.0, r * 500.0)),
                  FilterTermDb(type, 1.0 / r), 1e-9)
          << type << " hp " << r;
    }
  }
  EXPECT_EQ(CrossoverFilterResponse(12, false, 500.0, 500.0), Complex(1.0));
}

TEST(SystemResponse, CutOffLevelsAndPhasesWhereTheoryPutsThem) {
  for (int type = 0; type <= 9; ++type) {  // Butterworth and Bessel (scaled by K_N)
    EXPECT_NEAR(Db(CrossoverFilterResponse(type, false, 1000.0, 1000.0)), -3.0103, 1e-3) << type;
    EXPECT_NEAR(Db(CrossoverFilterResponse(type, true, 1000.0, 1000.0)), -3.0103, 1e-3) << type;
  }
  EXPECT_NEAR(Db(CrossoverFilterResponse(10, false, 1000.0, 1000.0)), -6.0206, 1e-3);
  EXPECT_NEAR(Db(CrossoverFilterResponse(11, true, 1000.0, 1000.0)), -6.0206, 1e-3);

  // Butterworth N = 2: -90 degrees at fc for the low-pass, +90 for the high-pass; N = 4: -180.
  EXPECT_NEAR(PhaseDegrees(CrossoverFilterResponse(0, false, 1000.0, 1000.0)), -90.0, 1e-9);
  EXPECT_NEAR(PhaseDegrees(CrossoverFilterResponse(0, true, 1000.0, 1000.0)), 90.0, 1e-9);
  EXPECT_NEAR(std::fabs(PhaseDegrees(CrossoverFilterResponse(2, false, 1000.0, 1000.0))), 180.0,
              1e-9);
  // Bessel: close to linear phase well below fc (constant group delay), unlike Butterworth.
  const double bessel = PhaseDegrees(CrossoverFilterResponse(7, false, 1000.0, 200.0)) /
                        PhaseDegrees(CrossoverFilterResponse(7, false, 1000.0, 100.0));
  EXPECT_NEAR(bessel, 2.0, 0.01);
}

// The group delay from the analytic logarithmic derivative against the phase's own slope,
// measured a hair either side of f.
double NumericGroupDelayMs(const std::function<Complex(double)>& h, double f) {
  const double step = f * 1e-6;
  return -std::arg(h(f + step) / h(f - step)) / (2.0 * std::numbers::pi * 2.0 * step) * 1000.0;
}
double AnalyticGroupDelayMs(const ResponseValue& v) {
  return -v.slope.imag() / (2.0 * std::numbers::pi) * 1000.0;
}

TEST(SystemResponse, GroupDelayOfEveryBlockIsItsPhaseSlope) {
  for (int type = 0; type < kCrossoverTypeCount; ++type) {
    for (const bool highPass : {false, true}) {
      SystemFilter filter;
      filter.on = true;
      filter.highPass = highPass;
      filter.type = type;
      filter.fc = 800.0;
      for (double f : {30.0, 400.0, 800.0, 1700.0, 12000.0}) {
        const double numeric =
            NumericGroupDelayMs([&](double x) { return filter.ValueAt(x).h; }, f);
        EXPECT_NEAR(AnalyticGroupDelayMs(filter.ValueAt(f)), numeric,
                    1e-6 + 1e-5 * std::fabs(numeric))
            << type << (highPass ? " hp " : " lp ") << f;
      }
    }
  }
  for (std::uint8_t type = 1; type <= 5; ++type) {
    const SystemBand band = SystemBand::From({type, 60, 40, 50});
    for (double f : {30.0, 500.0, 640.0, 2000.0}) {
      const double numeric = NumericGroupDelayMs([&](double x) { return band.ValueAt(x).h; }, f);
      EXPECT_NEAR(AnalyticGroupDelayMs(band.ValueAt(f)), numeric, 1e-6 + 1e-5 * std::fabs(numeric))
          << int(type) << " " << f;
    }
  }
  // Butterworth N = 2 well below fc: sqrt(2) / omega_c.
  EXPECT_NEAR(ComputeSystemCurves(TwoWay(0), {}, {1.0}).low.groupDelayMs[0],
              std::sqrt(2.0) / (2.0 * std::numbers::pi * 1000.0) * 1000.0, 1e-6);
}

TEST(SystemResponse, LinkwitzRiley4OutputsMeetInPhaseAndSumFlat) {
  const ProgramParameters p = TwoWay(kLr4);
  const SystemCurves c = ComputeSystemCurves(p, {}, {1000.0});
  EXPECT_NEAR(std::remainder(c.high.degrees[0] - c.low.degrees[0], 360.0), 0.0, 1e-9);
  EXPECT_NEAR(c.high.db[0], -6.0206, 1e-3);
  const SystemCurves all =
      ComputeSystemCurves(p, {}, FractionalOctaveGrid(kSystemLowestHz, kSystemHighestHz, 48));
  for (std::size_t k = 0; k < all.hz.size(); ++k) {
    EXPECT_NEAR(all.sum.db[k], 0.0, 1e-9) << all.hz[k];
  }
  // The same pair with LR2 cancels at fc unless one output is inverted.
  ProgramParameters lr2 = TwoWay(10);
  EXPECT_LT(ComputeSystemCurves(lr2, {}, {1000.0}).sum.db[0], -100.0);
  lr2.outputPhase[1] = 1;
  EXPECT_NEAR(ComputeSystemCurves(lr2, {}, {1000.0}).sum.db[0], 0.0, 1e-9);
}

TEST(SystemResponse, DelayIsItsGroupDelayAndLevelsAndPolarityScale) {
  ProgramParameters p = NeutralSet();
  p.outputDelay[0] = 48;    // 1 ms
  p.outputDelay[1] = 5000;  // beyond the range: held to 1019 steps
  p.outputPhase[1] = 1;
  p.outputLevel[1] = test::kZeroDbLevel - 12;  // -6 dB
  p.inputLevel[1] = test::kZeroDbLevel + 2;    // LINE +1 dB
  const SystemCurves c = ComputeSystemCurves(p, {}, {20.0, 1000.0, 23000.0});
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_NEAR(c.high.groupDelayMs[k], 1.0, 1e-6);
    EXPECT_NEAR(c.low.groupDelayMs[k], 1019.0 / 48.0, 1e-6);
    EXPECT_NEAR(c.high.db[k], 1.0, 1e-9);
    EXPECT_NEAR(c.low.db[k], -5.0, 1e-9);
  }
  // 1 ms at 1 kHz is one whole turn; the inverted LOW adds half a turn to its delay.
  EXPECT_NEAR(std::fabs(c.high.degrees[1]), 0.0, 1e-6);
  const double lowTurns = 1000.0 * 1019.0 / 48.0 / 1000.0 + 0.5;
  EXPECT_NEAR(c.low.degrees[1], -360.0 * (lowTurns - std::round(lowTurns)), 1e-6);
}

TEST(SystemResponse, ChainTakesTheChosenInputAndEveryBlockInTurn) {
  ProgramParameters p = NeutralSet();
  p.inputPeq[0][0] = {1, kCode1kHz, 48, 46};   // MIC band 1: +12 dB at 1 kHz
  p.inputPeq[1][1] = {1, kCode1kHz, 12, 46};   // LINE band 2: -6 dB
  p.outputPeq[5][0] = {1, kCode1kHz, 36, 46};  // HIGH band 6: +6 dB
  p.inputLevel[0] = test::kZeroDbLevel - 4;    // MIC -2 dB
  const SystemCurves line = ComputeSystemCurves(p, {Input::Line}, {1000.0});
  const SystemCurves mic = ComputeSystemCurves(p, {Input::Mic}, {1000.0});
  EXPECT_NEAR(line.high.db[0], -6.0 + 6.0, 1e-9);
  EXPECT_NEAR(line.low.db[0], -6.0, 1e-9);
  EXPECT_NEAR(mic.high.db[0], 12.0 - 2.0 + 6.0, 1e-9);
  EXPECT_NEAR(mic.low.db[0], 12.0 - 2.0, 1e-9);

  // Off filters, and cut-off codes outside the scale, are 1.
  for (const CrossoverSettings x :
       {CrossoverSettings{0, kHpfOff, 0, kLpfOff}, CrossoverSettings{4, 200, 4, 0},
        CrossoverSettings{4, 130, 9, 123}}) {
    EXPECT_EQ(SystemCrossoverResponse(x, 20.0), Complex(1.0));
  }
  EXPECT_NEAR(Db(SystemCrossoverResponse({0, 41, 4, 121}, 200.0)), -3.0103,
              1e-3);  // 200 Hz high-pass
}

TEST(SystemResponse, GridsAndCsv) {
  const std::vector<double> grid = FractionalOctaveGrid(10.0, 24000.0, 48);
  ASSERT_EQ(grid.size(), 539u);  // 11.23 octaves
  EXPECT_DOUBLE_EQ(grid.front(), 10.0);
  EXPECT_NEAR(grid[48], 20.0, 1e-9);
  EXPECT_LE(grid.back(), 24000.0);
  const std::vector<double> log = LogGrid(10.0, 24000.0, 512);
  ASSERT_EQ(log.size(), 512u);
  EXPECT_EQ(log.back(), 24000.0);
  EXPECT_NEAR(log[1] / log[0], log[511] / log[510], 1e-9);
  EXPECT_TRUE(LogGrid(10.0, 24000.0, 1).empty());

  const std::string csv = SystemCsvText(ComputeSystemCurves(TwoWay(kLr4), {}, {1000.0, 2000.0}));
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "frequency_hz,high_db,high_deg,low_db,low_deg,sum_db,sum_deg,sum_group_delay_ms");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
  const std::string row = csv.substr(csv.find("\n1000.000,") + 1);
  EXPECT_EQ(row.substr(0, row.find(',', 10) + 1), "1000.000,-6.0206,") << csv;
  EXPECT_NE(row.find(",-6.0206,"), std::string::npos) << csv;
  EXPECT_NE(row.find(",0.0000,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace corvella::graph
