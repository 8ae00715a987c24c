// plot --graph system and align, run as a script runs them, on real parameter and driver files.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cmath>

#include "cli_harness.h"
#include "graph/alignment.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

// Both outputs Linkwitz-Riley 24 dB at 1 kHz, no bands, 0 dB levels; HIGH `highDelay` steps late.
ProgramParameters TwoWay(std::int32_t highDelay) {
  ProgramParameters p{};
  ResetParameters(p, "Two way..................");
  for (auto& bands : p.inputPeq) bands[0].type = bands[1].type = 0;
  for (auto& bands : p.outputPeq) bands[0].type = bands[1].type = 0;
  p.inputLevel[0] = p.inputLevel[1] = p.outputLevel[0] = p.outputLevel[1] = 181;
  p.crossover[0] = {11, 69, 0, kLpfOff};
  p.crossover[1] = {0, kHpfOff, 11, 69};
  p.outputDelay[0] = highDelay;
  p.outputDelay[1] = 0;
  p.outputPhase[0] = p.outputPhase[1] = 0;
  return p;
}

std::vector<std::string> Rows(const std::string& text) {
  std::vector<std::string> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) rows.push_back(line);
  return rows;
}

std::vector<std::string> Fields(const std::string& row) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = row.find(',', start);
    fields.push_back(row.substr(start, comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

TEST(CliSystemPlot, CsvHasOneRowPerFractionOfAnOctaveOrPerPoint) {
  const ScratchDir scratch("system_csv");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "set.asc", TwoWay(0)).ok);
  const std::string set = (dir / "set.asc").string();

  RunResult r = RunCli({"plot", set, "--graph", "system", "-o", (dir / "s.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::vector<std::string> rows = Rows(ReadAll(dir / "s.csv"));
  ASSERT_EQ(rows.size(), 1u + 539u);
  EXPECT_EQ(rows[0],
            "frequency_hz,high_db,high_deg,low_db,low_deg,sum_db,sum_deg,sum_group_delay_ms");
  EXPECT_EQ(Fields(rows[1])[0], "10.000");
  EXPECT_EQ(Fields(rows[49])[0], "20.000");  // 48 rows to the octave
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const std::vector<std::string> f = Fields(rows[k]);
    ASSERT_EQ(f.size(), 8u) << rows[k];
    EXPECT_NEAR(std::stod(f[5]), 0.0, 1e-3) << rows[k];  // LR4 sums flat
  }

  r = RunCli({"plot", set, "--graph=system", "--points", "512", "--input", "mic", "-o",
              (dir / "n.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  rows = Rows(ReadAll(dir / "n.csv"));
  ASSERT_EQ(rows.size(), 513u);
  EXPECT_EQ(Fields(rows[512])[0], "24000.000");
}

TEST(CliSystemPlot, DriversShapeTheCurvesAndBadFilesAreRefusedWhole) {
  const ScratchDir scratch("system_drivers");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "set.asc", TwoWay(0)).ok);
  const std::string set = (dir / "set.asc").string();
  {
    std::ofstream(dir / "tweeter.txt") << "# tweeter\nHz;dB;deg\n800;92,5;0\n20000;92,5;0\n";
    std::ofstream(dir / "broken.txt") << "100 0\n100 1\n";
  }
  RunResult r = RunCli({"plot", set, "--graph", "system", "--high-driver",
                        (dir / "tweeter.txt").string(), "-o", (dir / "d.csv").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> rows = Rows(ReadAll(dir / "d.csv"));
  // Below the tweeter's measurement HIGH and the sum are not drawn; LOW is.
  EXPECT_EQ(rows[1].substr(0, 16), "10.000,,,0.0000,") << rows[1];
  EXPECT_EQ(rows[1].substr(rows[1].size() - 3), ",,,") << rows[1];
  bool sawTweeter = false;
  for (const std::string& row : rows) {
    if (row.rfind("1000.", 0) == 0 || row.rfind("1001.", 0) == 0) {
      // The comma of a ';'-separated file is its decimal mark.
      sawTweeter = std::fabs(std::stod(Fields(row)[1]) - (92.5 - 6.0)) < 0.1;
    }
  }
  EXPECT_TRUE(sawTweeter);

  std::ofstream(dir / "keep.csv") << "old";
  r = RunCli({"plot", set, "--graph", "system", "--low-driver", (dir / "broken.txt").string(), "-o",
              (dir / "keep.csv").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.LastErrLine(), "corvella-cli: " + (dir / "broken.txt").string() +
                                 ": line 2: the frequencies must rise from line to line");
  EXPECT_EQ(ReadAll(dir / "keep.csv"), "old");
  r = RunCli({"plot", set, "--graph", "system", "--low-driver", (dir / "absent.txt").string(), "-o",
              (dir / "keep.csv").string()});
  EXPECT_EQ(r.status, 2);

  for (const std::vector<std::string>& refused : std::vector<std::vector<std::string>>{
           {"plot", set, "--graph", "system", "--channel", "high", "-o", "x.csv"},
           {"plot", set, "--graph", "crossover", "--channel", "high", "--points", "9", "-o",
            "x.csv"},
           {"plot", set, "--graph", "system", "--points", "1", "-o", "x.csv"},
           {"plot", set, "--graph", "system", "--input", "aux", "-o", "x.csv"},
           {"plot", set, "--graph", "system", "-o", "x.txt"},
           {"plot", set, "--graph", "system"},
           {"align"},
           {"align", set, "--points", "40"},
           {"align", set, "--high-driver"}}) {
    r = RunCli(refused);
    EXPECT_EQ(r.status, 2) << refused.back();
    EXPECT_FALSE(fs::exists("x.csv"));
  }
}

TEST(CliSystemPlot, ImagesAreTheWindowsPanes) {
  const ScratchDir scratch("system_images");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "set.asc", TwoWay(10)).ok);
  const std::string set = (dir / "set.asc").string();
  RunResult r = RunCli({"plot", set, "--graph", "system", "-o", (dir / "s.png").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // the offscreen platform's notes stay out of the tool's output
  const QImage image(QString::fromStdString((dir / "s.png").string()));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(1000, 800));
  // Each third of the picture (one pane each) holds the HIGH curve's red.
  for (int pane = 0; pane < 3; ++pane) {
    int red = 0;
    for (int y = pane * 266; y < (pane + 1) * 266; ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        red += c.red() > 150 && c.green() < 110 && c.blue() < 110 ? 1 : 0;
      }
    }
    EXPECT_GT(red, 100) << pane;
  }
  r = RunCli({"plot", set, "--graph", "system", "-o", (dir / "s.svg").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = ReadAll(dir / "s.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("Group delay (ms)"), std::string::npos);
}

TEST(CliAlign, PrintsTheSuggestionAndWritesTheAlignedSet) {
  const ScratchDir scratch("align");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "set.asc", TwoWay(30)).ok);
  const std::string set = (dir / "set.asc").string();
  RunResult r = RunCli({"align", set});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Rows(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0], "HIGH delay 0 (0.0000 ms), polarity Normal");
  EXPECT_NE(lines[1].find("501 Hz to 2.00 kHz (crossover 1.00 kHz)"), std::string::npos)
      << lines[1];
  EXPECT_NE(lines[1].find("dB before, 0.00 dB after"), std::string::npos) << lines[1];

  r = RunCli({"align", set, "-o", (dir / "aligned.asc").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  ProgramParameters aligned{};
  ASSERT_TRUE(LoadParametersFile(dir / "aligned.asc", aligned).ok);
  ProgramParameters expected = TwoWay(0);
  EXPECT_EQ(ToImage(aligned), ToImage(expected));

  // Drivers that never overlap: nothing to align, and no file.
  {
    std::ofstream(dir / "hi.txt") << "5000 0\n20000 0\n";
    std::ofstream(dir / "lo.txt") << "20 0\n1000 0\n";
  }
  r = RunCli({"align", set, "--high-driver", (dir / "hi.txt").string(), "--low-driver",
              (dir / "lo.txt").string(), "-o", (dir / "none.asc").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.LastErrLine(),
            "corvella-cli: no alignment: the HIGH and LOW drivers' measurements have no frequency "
            "in common");
  EXPECT_FALSE(fs::exists(dir / "none.asc"));
  // Files without phase are taken as 0 degrees, and align says so as the window does.
  EXPECT_NE(r.err.find("warning: HIGH driver " + (dir / "hi.txt").string() +
                       ": no phase; taken as 0 degrees"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("warning: LOW driver"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace corvella::cli::testing
