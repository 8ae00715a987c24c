// The command line's refusals, and the commands that need no unit: show, plot and journal.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cmath>

#include "cli_harness.h"
#include "graph/level_response.h"
#include "graph/page_curves.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

ProgramParameters Preset() {
  ProgramParameters p{};
  ResetParameters(p, "Preset...................");
  p.crossover[0].hpfFrequency = 40;
  p.outputPeq[2][0] = PeqBand{1, 81, 40, 30};
  p.inputLevel[1] = 200;
  p.outputDelay[1] = 480;
  p.outputPhase[0] = 1;
  return p;
}

void WriteBytes(const fs::path& path, std::size_t count) {
  std::ofstream out(path, std::ios::binary);
  out << std::string(count, '\1');
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<double> Cells(const std::string& line) {
  std::vector<double> cells;
  std::istringstream in(line);
  std::string cell;
  while (std::getline(in, cell, ',')) cells.push_back(std::stod(cell));
  return cells;
}

TEST(CliUsage, BadInvocationsExitTwoAndNeverReachTheUnit) {
  const ScratchDir scratch("usage");
  const fs::path& dir = scratch.Path();
  WriteBytes(dir / "short.asc", 167);
  WriteBytes(dir / "long.asc", 169);
  ASSERT_TRUE(SaveParametersFile(dir / "good.asc", Preset()).ok);
  const std::string good = (dir / "good.asc").string();
  SimUnit unit(dir, {});
  ASSERT_FALSE(unit.Path().empty());

  const std::vector<std::vector<std::string>> refused = {
      {},
      {"frobnicate"},
      {"--verbose", "scan"},
      {"--id", "11", "scan"},
      {"--id", "0", "scan"},
      {"scan", "extra"},
      {"recall", "0"},
      {"recall", "7"},
      {"recall", "3", "-o"},
      {"store", "two"},
      {"rename", "A name of twenty-six chars"},
      {"rename", "a)b"},
      {"set-identity", "11", "Left"},
      {"set-identity", "3", "Left(2)"},
      {"set-identity", "3", "Fifteen chars!!"},
      {"set-identity", "3"},
      {"upload"},
      {"upload", "--fast"},
      {"recall", "2", "--fast"},
      {"load-default", "--fast", "a.asc", "b.asc"},
      {"upload", (dir / "missing" / "out.asc").string()},
      {"download", (dir / "short.asc").string()},
      {"download", (dir / "long.asc").string()},
      {"download", (dir / "absent.asc").string()},
      {"load-default", (dir / "short.asc").string()},
      {"show", (dir / "long.asc").string()},
      {"plot", good, "--channel", "mic", "-o", (dir / "x.png").string()},
      {"plot", good, "--graph", "crossover", "--channel", "mic", "-o", (dir / "x.png").string()},
      {"plot", good, "--graph", "level", "--channel", "left", "-o", (dir / "x.png").string()},
      {"plot", good, "--graph", "level", "--channel", "mic", "-o", (dir / "x.jpg").string()},
      {"plot", good, "--graph", "level", "--channel", "mic"},
      {"plot", good, "--graph", "level", "--channel", "mic", "-o",
       (dir / "missing" / "x.png").string()},
  };
  for (std::vector<std::string> args : refused) {
    args.insert(args.begin(), {"--ports", unit.Path()});
    const RunResult run = RunCli(args);
    std::string call;
    for (const auto& a : args) call += a + " ";
    EXPECT_EQ(run.status, 2) << call;
    EXPECT_EQ(run.out, "") << call;
    EXPECT_EQ(run.LastErrLine().empty(), false) << call;
  }
  EXPECT_TRUE(unit.Received().empty());
  EXPECT_FALSE(fs::exists(dir / "x.png"));
  EXPECT_FALSE(fs::exists(dir / "x.jpg"));

  const RunResult help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command :
       {"scan", "upload FILE", "download FILE", "load-default [FILE]", "programs", "recall N",
        "store N", "rename NAME", "set-identity ID NAME", "show FILE", "plot FILE"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
}

TEST(CliOffline, ShowListsEveryParameterWithItsTextGroupedByPage) {
  const ScratchDir scratch("show");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "preset.asc", Preset()).ok);
  RunResult run = RunCli({"show", (dir / "preset.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string& text = run.out;
  std::size_t at = 0;
  for (const char* heading :
       {"[Program]", "[Input PEQ MIC]", "[Input PEQ LINE]", "[Crossover HIGH]", "[Crossover LOW]",
        "[Output PEQ HIGH]", "[Output PEQ LOW]", "[Delay HIGH]", "[Delay LOW]",
        "[Compressor/Limiter]", "[Level]"}) {
    const std::size_t next = text.find(heading, at);
    ASSERT_NE(next, std::string::npos) << heading << "\n" << text;
    at = next;
  }
  for (const char* line : {
           "name                          Preset...................",
           "hpf frequency             40  190.0Hz",
           "lpf frequency            122  Off",
           "band 3 type                1  Peaking",
           "band 3 frequency          81  2.00kHz",
           "band 3 gain               40  8.0dB",
           "band 3 q                  30  1.73(0.58)",
           "delay                    480  10.0000 ms, 3.4000 m, 11.1520 ft, 133.8580 in",
           "LINE level               200  9.5 dB",
           "HIGH phase                 1  Inverse",
       }) {
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line;
  }
  // Every band of the page is listed: 2 per input, 6 per output, 4 fields each.
  std::size_t bandLines = 0;
  for (const auto& line : Lines(text)) bandLines += line.rfind("band ", 0) == 0 ? 1u : 0u;
  EXPECT_EQ(bandLines, (2u * 2u + 2u * 6u) * 4u);

  // Out-of-range codes are shown as the window would show them after its repair, with its warning.
  ProgramParameters broken = Preset();
  broken.outputPeq[0][1].frequency = 200;
  broken.programName[6] = '\0';
  ASSERT_TRUE(SaveParametersFile(dir / "broken.asc", broken).ok);
  run = RunCli({"show", (dir / "broken.asc").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Warnning: Error existed in Program data, Upgrated by valiable data!\n");
  EXPECT_EQ(run.out.find("frequency         200"), std::string::npos);
  // A control byte in the name is shown, not allowed to cut the listing short.
  EXPECT_NE(run.out.find("Preset?.................."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("[Level]"), std::string::npos);
}

TEST(CliOffline, JournalPrintsASavedJournalDecoded) {
  const ScratchDir scratch("journal");
  const fs::path file = scratch.Path() / "link.log";
  {
    std::ofstream out(file, std::ios::binary);
    // The last line cut off without its newline, as a journal of a program that died ends.
    out << "2026-12-07 08:04:39.100 COM1 TX (03X)\n"
           "... 2 entries dropped: the disk could not keep up\n"
           "2026-12-07 08:04:39.123 COM1 RX (03XStage right.....)";
  }
  const RunResult run = RunCli({"journal", file.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "       0 ms COM1 TX (03X)  probe of unit 3\n"
            "... 2 entries dropped: the disk could not keep up\n"
            "      23 ms COM1 RX (03XStage right.....)  answer: unit 3 \"Stage right...\"  "
            "(answer after 23 ms)\n");
  const RunResult missing = RunCli({"journal", (scratch.Path() / "none.log").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("none.log"), std::string::npos) << missing.err;
}

TEST(CliOffline, PlotExportsThePagesCurvesAndDrawsImages) {
  const ScratchDir scratch("plot");
  const fs::path& dir = scratch.Path();
  const ProgramParameters p = Preset();
  const std::string file = (dir / "preset.asc").string();
  ASSERT_TRUE(SaveParametersFile(file, p).ok);

  struct Case {
    const char* graph;
    const char* channel;
    const char* header;
  };
  for (const Case& c : {
           Case{"input-peq", "line", "point,frequency_hz,band1,band2,sum"},
           Case{"output-peq", "high",
                "point,frequency_hz,band1,band2,band3,band4,band5,band6,crossover,sum"},
           Case{"crossover", "high", "point,frequency_hz,crossover"},
           Case{"level", "mic", "point,frequency_hz,level"},
           Case{"level", "high",
                "point,frequency_hz,band1,band2,band3,band4,band5,band6,crossover,sum"},
       }) {
    const fs::path csv = dir / (std::string(c.graph) + "-" + c.channel + ".csv");
    const RunResult run =
        RunCli({"plot", file, "--graph", c.graph, "--channel", c.channel, "-o", csv.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(ReadAll(csv));
    ASSERT_EQ(lines.size(), 123u) << csv;
    EXPECT_EQ(lines.front(), c.header);
    for (std::size_t k = 0; k < 122; ++k) {
      const auto cells = Cells(lines[k + 1]);
      ASSERT_GE(cells.size(), 3u);
      EXPECT_EQ(cells[0], static_cast<double>(k));
      EXPECT_NEAR(cells[1], graph::GraphFrequencyList[k], 0.05);
    }
  }

  // The HIGH output's sum is the page's: band 3's lift at its centre on top of the crossover.
  const auto high = Lines(ReadAll(dir / "output-peq-high.csv"));
  const graph::PageCurves curves = graph::OutputPageCurves(p, 0);
  for (std::size_t k = 0; k < 122; ++k) {
    const auto cells = Cells(high[k + 1]);
    EXPECT_NEAR(cells.back(), curves.sum[k], 1e-3) << k;
    EXPECT_NEAR(cells[8], curves.crossover[k], 1e-3) << k;
  }
  const auto level = Lines(ReadAll(dir / "level-mic.csv"));
  EXPECT_EQ(Cells(level[50]).back(), graph::InputLevelWholeDb(p.inputLevel[0]));

  for (const char* extension : {".png", ".svg"}) {
    const fs::path out = dir / (std::string("crossover") + extension);
    const RunResult run =
        RunCli({"plot", file, "--graph=crossover", "--channel=low", "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  const QImage image(QString::fromStdString((dir / "crossover.png").string()));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(580, 224));
  // The LOW output's white curve crosses the graph; the background alone has no white pixel.
  int white = 0;
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) white += image.pixel(x, y) == qRgb(255, 255, 255);
  }
  EXPECT_GT(white, 100);
  const std::string svg = ReadAll(dir / "crossover.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("viewBox=\"0 0 580 224\""), std::string::npos);
  // Only the outputs remain in the folder: no temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1 + 5 + 2);
}

}  // namespace
}  // namespace corvella::cli::testing
