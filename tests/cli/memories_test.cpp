// Searching, the program memories and the unit's identity from the command line, against the
// virtual unit program.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

TEST(CliUnits, ScanListsEveryUnitAndIdPicksTheOneToConnect) {
  const ScratchDir scratch("scan");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--unit", "3:Left", "--unit", "5:Right:1"});
  ASSERT_FALSE(unit.Path().empty());

  RunResult run = RunCli({"--ports", unit.Path(), "scan"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "3\tLeft..........\t" + unit.Path() + "\n5\tRight.........\t" + unit.Path() + "\n");
  // A search only: nothing but the ten probes.
  EXPECT_EQ(unit.Received().size(), 10u);

  run = RunCli(
      {"--quiet", "--id", "5", "--ports", unit.Path(), "upload", (dir / "right.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  auto frames = unit.AfterSearch();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.front(), "(05I000)");
  EXPECT_EQ(frames.back(), "(05bye)");

  run = RunCli(
      {"--quiet", "--id", "4", "--ports", unit.Path(), "upload", (dir / "none.asc").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.LastErrLine(), "corvella-cli: upload failed: no unit with ID 4 was found");
  EXPECT_FALSE(fs::exists(dir / "none.asc"));

  // CORVELLA_PORTS stands in for --ports.
  ::setenv("CORVELLA_PORTS", unit.Path().c_str(), 1);
  run = RunCli({"--quiet", "scan"});
  ::unsetenv("CORVELLA_PORTS");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("3\tLeft", 0), 0u) << run.out;
}

TEST(CliUnits, ProgramsRecallAndStoreWorkOnTheUnitsMemories) {
  const ScratchDir scratch("memories");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--demo"});

  RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "programs"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Program No.1        Demo Program.............\n"
            "Program No.2        Speech...................\n"
            "Program No.3        Music....................\n"
            "Program No.4        Live Band................\n"
            "Program No.5       No Used\n"
            "Program No.6       No Used\n");
  auto frames = unit.AfterSearch();
  const std::vector<std::string> listed(frames.end() - 7, frames.end() - 1);
  EXPECT_EQ(listed, (std::vector<std::string>{"(01I001)", "(01I002)", "(01I003)", "(01I004)",
                                              "(01I005)", "(01I006)"}));

  run = RunCli({"--ports", unit.Path(), "recall", "3", "-o", (dir / "music.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("-> Program Recall OK...\n"), std::string::npos);
  ProgramParameters recalled{};
  ASSERT_TRUE(LoadParametersFile(dir / "music.asc", recalled).ok);
  EXPECT_EQ(ProgramNameText(recalled), "Music....................");
  EXPECT_EQ(recalled.outputDelay[0], 80);
  frames = unit.AfterSearch();
  const auto recall = std::find(frames.begin(), frames.end(), "(01R003)");
  ASSERT_NE(recall, frames.end());
  EXPECT_EQ(*(recall + 1), "(01I000)");
  EXPECT_EQ(*(recall + 2), "(01%021100)");  // a full upload follows

  run = RunCli({"--quiet", "--ports", unit.Path(), "store", "5"});
  EXPECT_EQ(run.status, 0) << run.err;
  frames = unit.AfterSearch();
  const std::vector<std::string> stored(frames.end() - 3, frames.end());
  EXPECT_EQ(stored, (std::vector<std::string>{"(01S005)", "(01I000)", "(01bye)"}));
  run = RunCli({"--quiet", "--ports", unit.Path(), "programs"});
  EXPECT_NE(run.out.find("Program No.5        Music....................\n"), std::string::npos)
      << run.out;

  // An unused memory does not answer a recall: the command fails and writes nothing.
  run = RunCli({"--ports", unit.Path(), "recall", "6", "-o", (dir / "six.asc").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "six.asc"));
}

TEST(CliUnits, RenameAndSetIdentityChangeTheUnit) {
  const ScratchDir scratch("identity");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--save", (dir / "unit.asc").string()});

  RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "rename", "Hall A"});
  EXPECT_EQ(run.status, 0) << run.err;
  auto frames = unit.AfterSearch();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[frames.size() - 2], "(01J0003Hall A...................)");

  run = RunCli({"--ports", unit.Path(), "set-identity", "7", "Left Top Cabin"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("-> Device Information  Change OK...\n"), std::string::npos);
  frames = unit.AfterSearch();
  const std::vector<std::string> tail(frames.end() - 3, frames.end());
  // The goodbye goes to the unit under its new ID.
  EXPECT_EQ(tail,
            (std::vector<std::string>{"(01Z07Left Top Cabin)", "(07YLeft Top Cabin)", "(07bye)"}));

  run = RunCli({"--quiet", "--ports", unit.Path(), "scan"});
  EXPECT_EQ(run.out, "7\tLeft Top Cabin\t" + unit.Path() + "\n");
  ASSERT_EQ(unit.Stop(), 0);
  ProgramParameters stored{};
  ASSERT_TRUE(LoadParametersFile(dir / "unit.asc", stored).ok);
  EXPECT_EQ(ProgramNameText(stored), "Hall A...................");
}

TEST(CliUnits, DemoRunsAgainstTheInProcessUnit) {
  const RunResult run = RunCli({"--quiet", "--demo", "scan"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("1\tCorvella Demo.\t/dev/", 0), 0u) << run.out;
}

}  // namespace
}  // namespace corvella::cli::testing
