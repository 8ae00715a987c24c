// The stepped EQ fit: its grid and smoothing as defined, finding known bands in noisy
// measurements, and its figures against an independent continuous fit made with SciPy.
#include "graph/stepped_eq_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graph/synthetic_measurement.h"
#include "model/scales.h"
#include "support/temp_dir.h"

namespace corvella::graph {
namespace {

TEST(SteppedEqFit, GridAndSmoothingAreAsDefined) {
  const std::vector<double> grid = FitGrid(20.0, 20000.0);
  ASSERT_EQ(grid.size(), 479u);  // 48 x log2(1000) = 478.4 steps
  EXPECT_DOUBLE_EQ(grid[48], 40.0);
  EXPECT_LE(grid.back(), 20000.0);
  EXPECT_EQ(FitGrid(100.0, 200.0).size(), 49u);  // `to` itself, within rounding
  EXPECT_TRUE(FitGrid(0.0, 100.0).empty());

  // Points at 100, 103, 106 and 200 Hz.
  Measurement m;
  m.points = {{100.0, 80.0, 0.0}, {103.0, 90.0, 0.0}, {106.0, 80.0, 0.0}, {200.0, 70.0, 0.0}};
  std::string error;
  const auto smoothed = SmoothedOnGrid(m, {100.0, 200.0, 12, 6.0}, error);
  ASSERT_TRUE(smoothed) << error;
  // The grid is cut to the measured range: 100..200 Hz whole.
  ASSERT_EQ(smoothed->hz.size(), 49u);
  // At 100 Hz the window (97.2..102.9 Hz) holds only the 100 Hz point.
  EXPECT_NEAR(smoothed->db[0], 80.0, 1e-9);
  // At 102.9 Hz (100 x 2^(2/48)) it holds 100 and 103 Hz, not 106: the mean of their powers.
  const std::size_t at103 = 2;
  EXPECT_NEAR(smoothed->db[at103], 10.0 * std::log10((1e8 + 1e9) / 2.0), 1e-9);
  // At 141 Hz the window holds no point: linear in log frequency between 106 and 200 Hz.
  const std::size_t at141 = 24;
  const double t = std::log(smoothed->hz[at141] / 106.0) / std::log(200.0 / 106.0);
  EXPECT_NEAR(smoothed->db[at141], 80.0 - 10.0 * t, 1e-9);

  const auto unsmoothed = SmoothedOnGrid(m, {100.0, 200.0, 0, 6.0}, error);
  ASSERT_TRUE(unsmoothed);
  EXPECT_NEAR(unsmoothed->db[at103],
              80.0 + 10.0 * std::log(unsmoothed->hz[at103] / 100.0) / std::log(1.03), 1e-9);

  // A measurement that does not reach the range to correct.
  EXPECT_FALSE(SmoothedOnGrid(m, {1000.0, 20000.0, 12, 6.0}, error));
  EXPECT_EQ(error, "the measurement does not cover the range to correct");
}

TEST(SteppedEqFit, FindsKnownBandsInNoisyMeasurements) {
  struct Case {
    const char* what;
    std::vector<PeqBand> bands;
    double maxBoostDb;
  };
  const Case cases[] = {
      {"HIGH: narrow and broad peaks and dips",
       {{1, 20, 34, 40},
        {1, 45, 14, 58},
        {1, 61, 30, 20},
        {1, 80, 16, 50},
        {1, 95, 32, 46},
        {1, 108, 18, 30}},
       6.0},
      {"cuts only", {{1, 33, 10, 52}, {1, 75, 14, 36}, {1, 100, 18, 60}}, 0.0},
      {"an input's two bands", {{1, 40, 12, 46}, {1, 90, 30, 30}}, 6.0},
  };
  std::uint32_t seed = 7;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int bandCount = c.bands.size() <= 2 ? 2 : 6;
    const Measurement m = test::InverseOfBands(c.bands, 0.3, seed++);
    std::string error;
    const auto target = SmoothedOnGrid(m, {}, error);
    ASSERT_TRUE(target) << error;
    const StageFit fit = FitStage(*target, bandCount, c.maxBoostDb);
    ASSERT_EQ(fit.bands.size(), static_cast<std::size_t>(bandCount));
    EXPECT_GT(fit.before.rmsDb, 1.0);
    EXPECT_LT(fit.after.rmsDb, 0.2);
    EXPECT_LT(fit.after.maxDb, 0.8);
    EXPECT_EQ(Residual(*target, fit.bands).rmsDb, fit.after.rmsDb);
    for (const PeqBand& want : c.bands) {
      bool found = false;
      for (const PeqBand& got : fit.bands) {
        found = found || (got.type == want.type && std::abs(got.frequency - want.frequency) <= 1 &&
                          std::abs(got.gain - want.gain) <= 2);
      }
      EXPECT_TRUE(found) << "band at code " << int(want.frequency) << " gain " << int(want.gain);
    }
    for (const PeqBand& got : fit.bands) {
      EXPECT_LE(EqGainDb(got.gain), c.maxBoostDb + 1e-9);
      EXPECT_LE(got.frequency, kLastFrequencyCode);
      EXPECT_LE(got.q, kLastQCode);
    }
  }
}

// The goal: within 0.10 dB of the best continuous fit with as many peaking bands and the same
// limits, and never worse than that fit rounded to the steps. The reference is SciPy's multi-start
// bounded least squares on its own grid and smoothing, which must agree with ours on its bands.
TEST(SteppedEqFit, ComesWithinATenthOfADecibelOfTheBestContinuousFit) {
  const test::TempDir dir;
  struct Run {
    int bands;
    std::vector<std::uint32_t> seeds;
  };
  for (const Run& run : {Run{6, {1, 3, 7, 8}}, Run{2, {2}}}) {
    std::string command = std::string(CORVELLA_PYTHON3) + " " + CORVELLA_CONTINUOUS_REFERENCE +
                          " " + std::to_string(run.bands) + " 6";
    std::vector<FitTarget> targets;
    for (std::uint32_t seed : run.seeds) {
      const Measurement m = test::LoudspeakerLike(seed, 10);
      const auto path = dir / ("m" + std::to_string(seed) + ".txt");
      std::ofstream(path) << test::MeasurementText(m);
      command += " " + path.string();
      std::string error;
      // The file as written, so both read the same rounded numbers.
      const MeasurementRead read = LoadMeasurement(path);
      ASSERT_TRUE(read.measurement) << read.error;
      targets.push_back(*SmoothedOnGrid(*read.measurement, {}, error));
    }
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    for (const FitTarget& target : targets) {
      char line[4096];
      ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr) << "no answer from " << command;
      std::vector<ContinuousBand> reference;
      double referenceRms = 0.0;
      const char* cursor = std::strstr(line, "\"rms_db\": ");
      ASSERT_NE(cursor, nullptr) << line;
      referenceRms = std::strtod(cursor + 10, nullptr);
      for (const char* b = line; (b = std::strstr(b, "\"frequency_hz\": ")) != nullptr; ++b) {
        ContinuousBand band;
        band.hz = std::strtod(b + 16, nullptr);
        band.gainDb = std::strtod(std::strstr(b, "\"gain_db\": ") + 11, nullptr);
        band.q = std::strtod(std::strstr(b, "\"q\": ") + 5, nullptr);
        reference.push_back(band);
      }
      ASSERT_EQ(reference.size(), static_cast<std::size_t>(run.bands)) << line;
      EXPECT_NEAR(Residual(target, std::span<const ContinuousBand>(reference)).rmsDb, referenceRms,
                  1e-3);

      const StageFit fit = FitStage(target, run.bands, 6.0);
      const double rounded = Residual(target, RoundToSteps(reference, 6.0)).rmsDb;
      std::printf(
          "%d bands: before %.3f dB, continuous reference %.3f dB, rounded %.3f dB, "
          "stepped %.3f dB\n",
          run.bands, fit.before.rmsDb, referenceRms, rounded, fit.after.rmsDb);
      EXPECT_LE(fit.after.rmsDb, referenceRms + 0.10);
      EXPECT_LE(fit.after.rmsDb, rounded + 1e-9);
    }
    EXPECT_EQ(::pclose(pipe), 0);
  }
}

}  // namespace
}  // namespace corvella::graph
