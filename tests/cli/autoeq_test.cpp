// corvella-cli autoeq on real parameter and measurement files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_harness.h"
#include "graph/synthetic_measurement.h"
#include "model/eq_stage.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

ProgramParameters StartUpSetIn(const fs::path& dir) {
  ProgramParameters p{};
  ResetParameters(p);
  EXPECT_TRUE(SaveParametersFile(dir / "set.asc", p).ok);
  return p;
}

TEST(CliAutoEq, ReplacesOnlyTheStagesBandsAndReportsTheFigures) {
  const ScratchDir scratch("autoeq");
  const fs::path& dir = scratch.Path();
  const ProgramParameters p = StartUpSetIn(dir);
  const std::vector<PeqBand> known = {{1, 40, 12, 46}, {1, 90, 30, 30}};
  std::ofstream(dir / "line.txt") << test::MeasurementText(test::InverseOfBands(known, 0.2, 3));
  const std::string set = (dir / "set.asc").string();

  RunResult r = RunCli({"autoeq", set, "--measurement", (dir / "line.txt").string(), "--stage",
                        "input-line", "--json", "-o", (dir / "out.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  EXPECT_GT(json["before"]["rms_db"].get<double>(), 1.0);
  EXPECT_LT(json["after"]["rms_db"].get<double>(), 0.2);
  EXPECT_GE(json["after"]["max_db"].get<double>(), json["after"]["rms_db"].get<double>());
  ASSERT_EQ(json["bands"].size(), 2u);
  EXPECT_EQ(json["bands"][0]["type"], "Peaking");

  ProgramParameters out{};
  ASSERT_TRUE(LoadParametersFile(dir / "out.asc", out).ok);
  const std::vector<PeqBand> fitted = StageBands(out, EqStage::InputLine);
  for (const PeqBand& want : known) {
    EXPECT_TRUE(std::any_of(fitted.begin(), fitted.end(), [&](const PeqBand& got) {
      return std::abs(got.frequency - want.frequency) <= 1 && std::abs(got.gain - want.gain) <= 2;
    }));
  }
  SetStageBands(out, EqStage::InputLine, StageBands(p, EqStage::InputLine));
  EXPECT_EQ(ToImage(out), ToImage(p));  // nothing but LINE's bands changed

  // Plain text: the figures, then one line per band.
  r = RunCli({"autoeq", set, "--measurement", (dir / "line.txt").string(), "--stage", "high",
              "--smoothing", "6", "--max-boost=0", "-o", (dir / "high.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("before: RMS ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nband 6: "), std::string::npos) << r.out;
}

TEST(CliAutoEq, RefusesBadMeasurementsAndArgumentsWritingNothing) {
  const ScratchDir scratch("autoeq_bad");
  const fs::path& dir = scratch.Path();
  StartUpSetIn(dir);
  std::ofstream(dir / "bad.txt") << "* header\n20 80\n30 81\nthirty 82\n";
  std::ofstream(dir / "narrow.txt") << "5000 80\n6000 81\n";
  const std::string set = (dir / "set.asc").string();
  const std::string out = (dir / "out.asc").string();

  RunResult r = RunCli(
      {"autoeq", set, "--measurement", (dir / "bad.txt").string(), "--stage", "low", "-o", out});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.LastErrLine(),
            "corvella-cli: " + (dir / "bad.txt").string() +
                ": line 4: not a point: a line of frequency and level was expected");
  r = RunCli({"autoeq", set, "--measurement", (dir / "narrow.txt").string(), "--stage", "low",
              "--from", "100", "--to", "1000", "-o", out});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("does not cover the range"), std::string::npos) << r.err;

  const std::string m = (dir / "narrow.txt").string();
  for (const std::vector<std::string>& refused : std::vector<std::vector<std::string>>{
           {"autoeq", set, "--measurement", m, "-o", out},
           {"autoeq", set, "--stage", "high", "-o", out},
           {"autoeq", set, "--measurement", m, "--stage", "mid", "-o", out},
           {"autoeq", set, "--measurement", m, "--stage", "high"},
           {"autoeq", set, "--measurement", m, "--stage", "high", "--max-boost", "13", "-o", out},
           {"autoeq", set, "--measurement", m, "--stage", "high", "--from", "2000", "--to", "1000",
            "-o", out},
           {"autoeq", set, "--measurement", m, "--stage", "high", "--smoothing", "x", "-o", out}}) {
    r = RunCli(refused);
    EXPECT_EQ(r.status, 2) << r.err;
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST(CliFilters, ImportSnapsToTheStepsAndExportWritesWhatWasImported) {
  const ScratchDir scratch("filters");
  const fs::path& dir = scratch.Path();
  const ProgramParameters p = StartUpSetIn(dir);
  std::ofstream(dir / "eq.txt") << "Preamp: -4 dB\nFilter 1: ON PK Fc 1010 Hz Gain -3.2 dB Q 4.4\n"
                                   "Filter 2: ON LS Fc 100 Hz Gain 4.5 dB\n";
  const std::string set = (dir / "set.asc").string();
  RunResult r = RunCli({"import-filters", set, (dir / "eq.txt").string(), "--stage", "low", "-o",
                        (dir / "out.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(
      r.out.find("band 1: Peaking 1010 Hz -3.2 dB Q 4.4 -> Peaking 1.00kHz -3.0dB Q 4.33(0.23)"),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("largest curve difference: "), std::string::npos) << r.out;
  ProgramParameters out{};
  ASSERT_TRUE(LoadParametersFile(dir / "out.asc", out).ok);
  const std::vector<PeqBand> low = StageBands(out, EqStage::Low);
  EXPECT_EQ(low[0], (PeqBand{1, 69, 18, 46}));
  EXPECT_EQ(low[1].type, 4);
  EXPECT_EQ(low[2].type, 0);
  SetStageBands(out, EqStage::Low, StageBands(p, EqStage::Low));
  EXPECT_EQ(ToImage(out), ToImage(p));

  r = RunCli({"export-filters", (dir / "out.asc").string(), "--stage", "low"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 4.33\n"
            "Filter 2: ON LS Fc 100 Hz Gain 4.5 dB\n");

  // Seven filters do not fit a stage of six; a line the unit cannot make names itself.
  std::string seven;
  for (int i = 1; i <= 7; ++i) seven += "Filter " + std::to_string(i) + ": ON PK Fc 100 Hz\n";
  std::ofstream(dir / "seven.txt") << seven;
  std::ofstream(dir / "bad.txt") << "Filter 1: ON APF Fc 100 Hz Q 1\n";
  r = RunCli({"import-filters", set, (dir / "seven.txt").string(), "--stage", "high", "-o",
              (dir / "x.asc").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("7 filters, but the stage has 6 bands"), std::string::npos) << r.err;
  r = RunCli({"import-filters", set, (dir / "bad.txt").string(), "--stage", "input-mic", "-o",
              (dir / "x.asc").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("bad.txt: line 1: the unit has no filter of type APF"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "x.asc"));
}

}  // namespace
}  // namespace corvella::cli::testing
