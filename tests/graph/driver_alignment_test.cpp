// Measured drivers (read from real files) and the alignment search over them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "graph/alignment.h"
#include "graph/driver_response.h"
#include "graph/system_response.h"
#include "graph/system_test_support.h"

namespace corvella::graph {
namespace {

namespace fs = std::filesystem;
using test::kLr4;
using test::TwoWay;

class TempFile {
 public:
  explicit TempFile(const std::string& text)
      : path_(fs::temp_directory_path() /
              ("corvella-driver-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               std::to_string(counter_++) + ".txt")) {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~TempFile() { fs::remove(path_); }
  const fs::path& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

DriverResponse Parsed(const std::string& text) {
  std::string error;
  auto d = DriverResponse::Parse(text, error);
  EXPECT_TRUE(d.has_value()) << error;
  return d.value_or(*DriverResponse::Parse("1 0\n2 0\n", error));
}

// A flat driver from 10 Hz to 24 kHz whose sound leaves `lagMs` late (a voice coil further back).
std::string LaggingDriver(double lagMs) {
  std::string text = "* simulated measurement\nFreq(Hz) SPL(dB) Phase(deg)\n";
  for (double f : FractionalOctaveGrid(10.0, 24000.0, 24)) {
    double degrees = -360.0 * f * lagMs / 1000.0;
    degrees -= 360.0 * std::round(degrees / 360.0);  // exported wrapped, as programs do
    text += std::to_string(f) + "\t85.0\t" + std::to_string(degrees) + "\n";
  }
  return text;
}

TEST(DriverResponse, ReadsWhatMeasurementProgramsWrite) {
  const DriverResponse d = Parsed(
      "* exported by a measurement program\r\n"
      "# another comment\n"
      "; and another\n"
      "Freq(Hz) SPL(dB) Phase(deg) Coherence\n"
      "\n"
      "100 0.0 170\r\n"
      "200 3 -170\n"
      "  400\t\t12.0   -150  0.99\n");  // a fourth column (coherence) is ignored
  ASSERT_EQ(d.Points().size(), 3u);
  EXPECT_TRUE(d.HasPhase());
  EXPECT_DOUBLE_EQ(d.LowestHz(), 100.0);
  EXPECT_DOUBLE_EQ(d.HighestHz(), 400.0);
  // Unwrapped on reading: -170 after 170 is 190.
  EXPECT_DOUBLE_EQ(d.Points()[1].degrees, 190.0);
  EXPECT_DOUBLE_EQ(d.Points()[2].degrees, 210.0);

  // Linear on a logarithmic frequency axis: 141 Hz is halfway between 100 and 200 Hz.
  const auto mid = d.At(std::sqrt(100.0 * 200.0));
  ASSERT_TRUE(mid);
  EXPECT_NEAR(mid->db, 1.5, 1e-9);
  EXPECT_NEAR(mid->degrees, 180.0, 1e-9);
  EXPECT_NEAR(d.At(300.0)->db, 3.0 + 9.0 * std::log(1.5) / std::log(2.0), 1e-9);
  EXPECT_DOUBLE_EQ(d.At(400.0)->db, 12.0);
  EXPECT_FALSE(d.At(99.9));
  EXPECT_FALSE(d.At(400.1));
  EXPECT_NEAR(std::abs(d.ValueAt(400.0)->h), std::pow(10.0, 0.6), 1e-9);

  const DriverResponse magnitudeOnly = Parsed("20 80\n+2e4 +86.5\n");
  EXPECT_FALSE(magnitudeOnly.HasPhase());
  EXPECT_DOUBLE_EQ(magnitudeOnly.At(1000.0)->degrees, 0.0);
}

TEST(DriverResponse, LoadsRealFilesAndReportsMissingOnes) {
  const TempFile file("10 0\n24000 -3\n");
  std::string error;
  const auto d = DriverResponse::Load(file.path(), error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->Points().size(), 2u);

  const TempFile bad("10 0\n5 0\n");
  EXPECT_FALSE(DriverResponse::Load(bad.path(), error));
  EXPECT_EQ(error, bad.path().string() + ": line 2: the frequencies must rise from line to line");
  EXPECT_FALSE(DriverResponse::Load(bad.path().string() + ".absent", error));
  EXPECT_NE(error.find(".absent: "), std::string::npos);
}

TEST(SystemWithDrivers, OutsideTheMeasuredRangeNothingIsDrawn) {
  const DriverResponse high = Parsed("1000 90 0\n20000 90 0\n");
  SystemSetup setup;
  setup.highDriver = &high;
  const SystemCurves c = ComputeSystemCurves(TwoWay(kLr4), setup, {500.0, 1000.0, 4000.0, 22000.0});
  EXPECT_TRUE(std::isnan(c.high.db[0]) && std::isnan(c.sum.db[0]) && std::isnan(c.sum.degrees[0]));
  EXPECT_TRUE(std::isnan(c.high.db[3]) && std::isnan(c.sum.groupDelayMs[3]));
  EXPECT_FALSE(std::isnan(c.low.db[0]));  // the LOW driver is flat: drawn everywhere
  EXPECT_NEAR(c.high.db[1], 90.0 - 6.0206, 1e-3);
  EXPECT_FALSE(std::isnan(c.high.groupDelayMs[1]));  // one-sided at the measurement's edge
  const std::string csv = SystemCsvText(c);
  EXPECT_NE(csv.find("\n500.000,,,"), std::string::npos) << csv;
}

TEST(SystemWithDrivers, DriverPhaseAddsItsGroupDelay) {
  const TempFile file(LaggingDriver(0.5));
  std::string error;
  const auto low = DriverResponse::Load(file.path(), error);
  ASSERT_TRUE(low) << error;
  SystemSetup setup;
  setup.lowDriver = &*low;
  const SystemCurves c = ComputeSystemCurves(test::NeutralSet(), setup, {300.0, 3000.0});
  EXPECT_NEAR(c.low.groupDelayMs[0], 0.5,
              0.01);  // interpolated on log f between 1/24-octave points
  EXPECT_NEAR(c.low.groupDelayMs[1], 0.5, 0.01);
  EXPECT_NEAR(c.low.db[0], 85.0, 1e-9);
}

TEST(Alignment, FindsTheDelayADriverTookAway) {
  const TempFile file(LaggingDriver(0.5));  // LOW sounds 0.5 ms (24 steps) late
  std::string error;
  const auto low = DriverResponse::Load(file.path(), error);
  ASSERT_TRUE(low) << error;
  const TempFile flat(LaggingDriver(0.0));
  const auto high = DriverResponse::Load(flat.path(), error);
  ASSERT_TRUE(high) << error;
  SystemSetup setup;
  setup.highDriver = &*high;
  setup.lowDriver = &*low;
  ProgramParameters p = TwoWay(kLr4);
  p.outputDelay[1] = 7;  // a wrong guess on LOW, kept: HIGH is moved to match it
  const auto s = SuggestAlignment(p, setup, error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->output, Output::High);
  EXPECT_EQ(s->delaySteps, 24 + 7);
  EXPECT_EQ(s->polarity, 0);
  EXPECT_NEAR(s->before.crossoverHz, 1000.0, 20.0);
  EXPECT_NEAR(s->before.fromHz, 500.0, 10.0);
  EXPECT_NEAR(s->before.toHz, 2000.0, 30.0);
  EXPECT_GT(s->before.rmsDb, 0.5);
  EXPECT_LT(s->after.rmsDb, 0.01);

  ApplyAlignment(p, *s);
  EXPECT_EQ(p.outputDelay[0], 31);
  const auto score = ScoreAlignment(p, setup, error);
  ASSERT_TRUE(score);
  EXPECT_NEAR(score->rmsDb, s->after.rmsDb, 1e-9);
  EXPECT_NE(AlignmentText(*s).find("HIGH delay 31 (0.6458 ms), polarity Normal\n"),
            std::string::npos)
      << AlignmentText(*s);
}

TEST(Alignment, PrefersTheShorterDelayAndFindsPolarity) {
  ProgramParameters p = TwoWay(kLr4);
  p.outputDelay[0] = 40;
  std::string error;
  auto s = SuggestAlignment(p, {}, error);
  ASSERT_TRUE(s) << error;
  // LOW 40 would do as well; taking HIGH back to 0 adds no latency.
  EXPECT_EQ(s->output, Output::High);
  EXPECT_EQ(s->delaySteps, 0);
  EXPECT_LT(s->after.rmsDb, 1e-6);

  // An LR2 pair cancels at fc in phase: one output must be inverted, with no delay.
  s = SuggestAlignment(TwoWay(10), {}, error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->delaySteps, 0);
  EXPECT_EQ(s->polarity, 1);
  EXPECT_GT(s->before.rmsDb, 3.0);
  EXPECT_LT(s->after.rmsDb, 1e-6);
}

TEST(Alignment, NeedsOverlappingMeasurements) {
  const DriverResponse high = Parsed("5000 0\n20000 0\n");
  const DriverResponse low = Parsed("20 0\n1000 0\n");
  SystemSetup setup;
  setup.highDriver = &high;
  setup.lowDriver = &low;
  std::string error;
  EXPECT_FALSE(SuggestAlignment(TwoWay(kLr4), setup, error));
  EXPECT_EQ(error, "the HIGH and LOW drivers' measurements have no frequency in common");
  const DriverResponse narrow = Parsed("970 0\n1040 0\n");
  setup.highDriver = nullptr;
  setup.lowDriver = &narrow;
  EXPECT_FALSE(ScoreAlignment(TwoWay(kLr4), setup, error));
  EXPECT_NE(error.find("overlap too little"), std::string::npos) << error;
}

}  // namespace
}  // namespace corvella::graph
