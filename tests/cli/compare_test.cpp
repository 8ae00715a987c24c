// diff, verify, sync and download --verify, end to end against the virtual unit program.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_harness.h"
#include "link/frames.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

ProgramParameters UnitSet() {
  ProgramParameters p{};
  ResetParameters(p, "Unit program.............");
  p.programNumber = 2;
  p.crossover[1].hpfFrequency = 9;
  p.outputLevel[0] = 150;
  return p;
}

// The unit's set with three parameters changed in three groups.
ProgramParameters ThreeChanges() {
  ProgramParameters p = UnitSet();
  p.programNumber = 5;  // not a difference
  p.crossover[1].hpfFrequency = 12;
  p.outputPeq[2][0].gain = 30;
  p.dynamics.ratio = 4;
  return p;
}

ProgramParameters Load(const fs::path& file) {
  ProgramParameters p{};
  EXPECT_TRUE(LoadParametersFile(file, p).ok) << file;
  return p;
}

TEST(CliCompare, DiffListsEachDifferingParameterAsTextOrJson) {
  const ScratchDir scratch("diff");
  const fs::path a = scratch.Path() / "a.asc";
  const fs::path b = scratch.Path() / "b.asc";
  ASSERT_TRUE(SaveParametersFile(a, UnitSet()).ok);
  ASSERT_TRUE(SaveParametersFile(b, ThreeChanges()).ok);

  RunResult run = RunCli({"diff", a.string(), a.string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");

  run = RunCli({"diff", a.string(), b.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.substr(0, run.out.find("Compressor")),
            "Crossover LOW hpf frequency: 9 31.5Hz -> 12 37.5Hz\n"
            "Output PEQ HIGH band 3 gain: 31 3.5dB -> 30 3.0dB\n");
  EXPECT_NE(run.out.find("\nCompressor/Limiter ratio: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" -> 4 "), std::string::npos) << run.out;

  run = RunCli({"diff", "--json", a.string(), b.string()});
  EXPECT_EQ(run.status, 1);
  const auto json = nlohmann::json::parse(run.out);
  ASSERT_EQ(json.size(), 3u);
  EXPECT_EQ(json[0]["section"], "Crossover LOW");
  EXPECT_EQ(json[0]["parameter"], "hpf frequency");
  EXPECT_EQ(json[0]["a"]["code"], 9);
  EXPECT_EQ(json[0]["b"]["text"], "37.5Hz");

  // A name difference has no codes; bad input is a usage error and says which file.
  ProgramParameters renamed = UnitSet();
  SetProgramName(renamed, "Ren\xe9");
  ASSERT_TRUE(SaveParametersFile(b, renamed).ok);
  run = RunCli({"diff", "--json", a.string(), b.string()});
  EXPECT_EQ(run.status, 1);
  const auto names = nlohmann::json::parse(run.out);
  EXPECT_TRUE(names[0]["a"]["code"].is_null());
  EXPECT_EQ(names[0]["b"]["text"].get<std::string>().substr(0, 5), "Ren\xc3\xa9");
  std::ofstream(scratch.Path() / "short.asc") << "short";
  run = RunCli({"diff", a.string(), (scratch.Path() / "short.asc").string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("short.asc"), std::string::npos);
  EXPECT_EQ(RunCli({"diff", a.string()}).status, 2);
}

TEST(CliCompare, VerifyAndSyncSendOnlyWhatDiffers) {
  const ScratchDir scratch("sync");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "unit.asc", UnitSet()).ok);
  ASSERT_TRUE(SaveParametersFile(dir / "file.asc", ThreeChanges()).ok);
  const std::string file = (dir / "file.asc").string();
  SimUnit unit(dir, {"--load", (dir / "unit.asc").string(), "--save", (dir / "after.asc").string()});

  RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "verify", (dir / "unit.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");

  run = RunCli({"--quiet", "--ports", unit.Path(), "verify", file});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
  EXPECT_EQ(Load(dir / "file.asc"), ThreeChanges()) << "verify never writes FILE";

  run = RunCli({"--quiet", "--ports", unit.Path(), "sync", file});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("sent: Crossover LOW hpf frequency"), std::string::npos) << run.out;
  // Exactly the three edit frames went out between the upload and the read-back.
  std::vector<std::string> writes;
  for (const std::string& f : unit.AfterSearch())
    if (f.size() > 4 && f[3] == '$') writes.push_back(f);
  const ProgramParameters want = ThreeChanges();
  EXPECT_EQ(writes, (std::vector<std::string>{link::HpfFrequencyFrame(1, Output::Low, 12),
                                              link::OutputPeqGainFrame(1, Output::High, 2, 30),
                                              link::CompressorFrame(1, want.dynamics)}));
  ASSERT_EQ(unit.Stop(), 0);
  EXPECT_TRUE(DiffParameters(Load(dir / "after.asc"), want).empty());
}

TEST(CliCompare, AUnitThatIgnoresWritesOrFallsSilentIsCaught) {
  const ScratchDir scratch("ignoring");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "unit.asc", UnitSet()).ok);
  ProgramParameters louder = UnitSet();
  louder.outputLevel[0] = 180;
  SetProgramName(louder, "Louder");
  ASSERT_TRUE(SaveParametersFile(dir / "louder.asc", louder).ok);
  const std::string file = (dir / "louder.asc").string();
  {
    SimUnit unit(dir, {"--load", (dir / "unit.asc").string(), "--ignore-writes", "$049"});
    RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "sync", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("sent: Program name"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Level HIGH level: 180"), std::string::npos) << run.out;
    EXPECT_NE(run.LastErrLine().find("1 parameter differ"), std::string::npos) << run.err;

    run = RunCli({"--quiet", "--ports", unit.Path(), "download", file, "--verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("Level HIGH level: 180", 0), 0u) << run.out;
  }
  {
    fs::create_directories(dir / "silent");
    SimUnit unit(dir / "silent", {"--load", (dir / "unit.asc").string(), "--silent-after", "20"});
    const RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "verify", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "") << "nothing is compared from half a program";
    EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  }
}

// What is compared is what the unit holds: a field the compressor frame carries though no page
// shows it, a name the line spells its own way, a file whose values the repair changes.
TEST(CliCompare, ComparesWhatTheUnitHolds) {
  const ScratchDir scratch("held");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "unit.asc", UnitSet()).ok);
  SimUnit unit(dir, {"--load", (dir / "unit.asc").string()});
  const auto cli = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--quiet", "--ports", unit.Path()});
    args.push_back("--fast");
    return RunCli(args);
  };
  const auto writes = [&] {
    std::vector<std::string> frames;
    for (const std::string& f : unit.AfterSearch())
      if (f.size() > 4 && f[3] == '$') frames.push_back(f);
    return frames;
  };

  ProgramParameters aux = UnitSet();
  aux.dynamics.auxTime = 11;
  ASSERT_TRUE(SaveParametersFile(dir / "aux.asc", aux).ok);
  RunResult run = cli({"verify", (dir / "aux.asc").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("Compressor/Limiter aux time: 11 ", 0), 0u) << run.out;
  run = cli({"sync", (dir / "aux.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(writes(), std::vector<std::string>{link::CompressorFrame(1, aux.dynamics)});

  ProgramParameters named = aux;
  named.programName.fill('\0');
  SetProgramName(named, "Mix (live)");
  ASSERT_TRUE(SaveParametersFile(dir / "named.asc", named).ok);
  run = cli({"sync", (dir / "named.asc").string()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(cli({"verify", (dir / "named.asc").string()}).status, 0);

  ProgramParameters loud = aux;
  loud.dynamics.threshold = 120;
  ASSERT_TRUE(SaveParametersFile(dir / "loud.asc", loud).ok);
  const std::string loudFile = (dir / "loud.asc").string();
  for (const auto& args : {std::vector<std::string>{"sync", loudFile},
                           std::vector<std::string>{"download", loudFile, "--verify"}}) {
    const std::size_t received = unit.Received().size();
    run = cli(args);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_NE(run.LastErrLine().find("--accept-repaired"), std::string::npos) << run.err;
    EXPECT_EQ(unit.Received().size(), received) << args[0] << ": nothing reaches the unit";
  }
  run = cli({"sync", (dir / "loud.asc").string(), "--accept-repaired"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("repaired: Compressor/Limiter threshold: 120 ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\nsent: Compressor/Limiter threshold: 99 "), std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace corvella::cli::testing
