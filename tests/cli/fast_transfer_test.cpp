// --fast from the command line, against corvella-unit-sim at line rate: every run is made twice,
// once in each mode, side by side on two units, and the two must agree on the frames the unit
// received, the unit's program afterwards, the file written, the texts shown and the exit status.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "cli_harness.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

// A set that differs from the start-up values in every kind of block.
ProgramParameters KnownSet() {
  ProgramParameters p{};
  ResetParameters(p, "Fast known program.......");
  p.programNumber = 3;
  p.inputPeq[0][1] = PeqBand{2, 60, 35, 25};
  p.inputLevel[0] = 175;
  p.crossover[1].hpfFrequency = 44;
  p.outputPeq[5][0] = PeqBand{3, 95, 12, 58};
  p.outputLevel[1] = 150;
  p.outputDelay[0] = 222;
  p.dynamics.attackTime = 33;
  p.outputPhase[0] = 1;
  return p;
}

// One command run against its own unit; `{dir}` in the arguments is the run's own folder.
struct Leg {
  std::string name;
  std::vector<std::string> unitOptions;
  std::vector<std::string> command;
};

struct Outcome {
  RunResult run;
  std::vector<std::string> frames;  // what the unit received after the search
  std::string unitProgram;          // the unit's program at the end, as saved
  std::string written;              // the command's output file, if it wrote one
};

std::vector<std::string> InFolder(std::vector<std::string> args, const fs::path& dir) {
  for (auto& a : args) {
    if (a.rfind("{dir}", 0) == 0) a = dir.string() + a.substr(5);
  }
  return args;
}

// Runs every leg in both modes at once (the default mode's waits dominate, so side by side costs
// no more than one of them) and returns the outcomes, default mode first.
std::vector<std::pair<Outcome, Outcome>> RunBothModes(const fs::path& root,
                                                      const std::vector<Leg>& legs) {
  struct Run {
    fs::path dir;
    std::unique_ptr<SimUnit> unit;
    std::vector<std::string> args;
    Outcome outcome;
  };
  std::vector<Run> runs;
  for (const Leg& leg : legs) {
    for (const bool fast : {false, true}) {
      Run r;
      r.dir = root / (leg.name + (fast ? "-fast" : "-default"));
      fs::create_directories(r.dir);
      std::vector<std::string> options = InFolder(leg.unitOptions, r.dir);
      options.insert(options.end(), {"--line-rate", "--save", (r.dir / "unit.asc").string()});
      r.unit = std::make_unique<SimUnit>(r.dir, options);
      r.args = {"--ports", r.unit->Path()};
      for (const auto& a : InFolder(leg.command, r.dir)) r.args.push_back(a);
      if (fast) r.args.push_back("--fast");
      runs.push_back(std::move(r));
    }
  }
  std::vector<std::thread> threads;
  for (Run& r : runs) threads.emplace_back([&r] { r.outcome.run = RunCli(r.args); });
  for (auto& t : threads) t.join();
  std::vector<std::pair<Outcome, Outcome>> out;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    Run& r = runs[i];
    EXPECT_EQ(r.unit->Stop(), 0) << r.dir;
    r.outcome.frames = r.unit->AfterSearch();
    r.outcome.unitProgram = ReadAll(r.dir / "unit.asc");
    if (fs::exists(r.dir / "out.asc")) r.outcome.written = ReadAll(r.dir / "out.asc");
    if (i % 2 == 1) out.emplace_back(std::move(runs[i - 1].outcome), std::move(r.outcome));
  }
  return out;
}

void ExpectSame(const std::string& name, const Outcome& slow, const Outcome& fast) {
  SCOPED_TRACE(name);
  EXPECT_EQ(fast.run.status, slow.run.status) << fast.run.err;
  EXPECT_EQ(fast.run.err, slow.run.err);
  EXPECT_EQ(fast.run.out, slow.run.out);
  EXPECT_EQ(fast.frames, slow.frames);
  EXPECT_FALSE(slow.unitProgram.empty());
  EXPECT_EQ(fast.unitProgram, slow.unitProgram);
  EXPECT_EQ(fast.written, slow.written);
}

// All legs run side by side: the whole costs about one transfer in the default mode.
TEST(CliFastTransfer, EveryRunEndsAsInTheDefaultModeWithTheSameFilesAndUnits) {
  const ScratchDir scratch("fast");
  const fs::path& dir = scratch.Path();
  const std::string known = (dir / "known.asc").string();
  ASSERT_TRUE(SaveParametersFile(known, KnownSet()).ok);
  enum { kUpload, kDownload, kLate, kTooLate, kSilent };
  const std::vector<Leg> legs = {
      {"upload", {"--unit", "3:Stage Left", "--load", known}, {"upload", "{dir}/out.asc"}},
      {"download", {"--unit", "2"}, {"download", known}},
      // Late inside the 21 ticks of 230 ms a step may wait, late past them, and never.
      {"late",
       {"--delay", "400", "--delay-for", "I00", "--delay-for", "%049"},
       {"upload", "{dir}/out.asc"}},
      {"too-late", {"--delay", "5500", "--delay-for", "%0211"}, {"upload", "{dir}/out.asc"}},
      {"silent", {"--silent-for", "$051"}, {"download", known}},
  };
  const auto results = RunBothModes(dir, legs);
  ASSERT_EQ(results.size(), legs.size());
  for (std::size_t i = 0; i < legs.size(); ++i) {
    ExpectSame(legs[i].name, results[i].first, results[i].second);
  }
  for (const int ok : {kUpload, kDownload, kLate}) {
    const RunResult& run = results[static_cast<std::size_t>(ok)].second.run;
    EXPECT_EQ(run.status, 0) << run.err;
  }
  for (const int lost : {kTooLate, kSilent}) {
    const RunResult& run = results[static_cast<std::size_t>(lost)].second.run;
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  }
  // The upload wrote the unit's program, the download put the file into the unit.
  ProgramParameters uploaded{};
  ASSERT_TRUE(LoadParametersFile(dir / "upload-fast" / "out.asc", uploaded).ok);
  EXPECT_EQ(ToImage(uploaded), ToImage(KnownSet()));
  ProgramParameters downloaded{};
  ASSERT_TRUE(LoadParametersFile(dir / "download-fast" / "unit.asc", downloaded).ok);
  EXPECT_EQ(downloaded.outputDelay[0], KnownSet().outputDelay[0]);
  EXPECT_EQ(downloaded.outputPhase[0], KnownSet().outputPhase[0]);
  EXPECT_EQ(downloaded.programName, KnownSet().programName);
}

}  // namespace
}  // namespace corvella::cli::testing
