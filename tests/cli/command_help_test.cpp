// Each command's own --help, and what a malformed line says, before any port is opened.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

constexpr const char* kTryHelp = "Try 'corvella-cli --help'.\n";

TEST(CliCommandHelp, EveryCommandAndFleetActionListsItsOwnOptionsWithoutOpeningAPort) {
  const ScratchDir dir("command_help");
  SimUnit unit(dir.Path(), {});
  ASSERT_FALSE(unit.Path().empty());
  struct Case {
    std::vector<std::string> command;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {
      {{"scan"}, {"--json"}},
      {{"upload"}, {"FILE", "--accept-repaired", "--fast"}},
      {{"download"}, {"FILE", "--verify", "--accept-repaired", "--fast", "--json"}},
      {{"load-default"}, {"[FILE]", "--fast"}},
      {{"programs"}, {"--json"}},
      {{"recall"}, {"N", "-o,--output FILE", "--accept-repaired"}},
      {{"store"}, {"N"}},
      {{"rename"}, {"NAME"}},
      {{"set-identity"}, {"ID NAME"}},
      {{"show"}, {"FILE", "--json"}},
      {{"journal"}, {"FILE"}},
      {{"plot"},
       {"--graph input-peq|output-peq|crossover|level|system", "--channel mic|line|high|low",
        "-o,--output OUT", "--input line|mic", "--high-driver F", "--low-driver F", "--points N",
        "--json"}},
      {{"diff"}, {"A B", "--json"}},
      {{"verify"}, {"FILE", "--json", "--fast"}},
      {{"sync"}, {"FILE", "--accept-repaired", "--fast", "--json"}},
      {{"align"}, {"--input", "--high-driver", "--low-driver", "-o,--output OUT.asc", "--json"}},
      {{"autoeq"},
       {"--measurement M", "--stage high|low|input-mic|input-line", "--from HZ", "--to HZ",
        "--smoothing N", "--max-boost DB", "--json", "-o,--output OUT.asc"}},
      {{"import-filters"}, {"FILE F", "--stage", "-o,--output OUT.asc"}},
      {{"export-filters"}, {"--stage", "-o,--output F"}},
      {{"serve"},
       {"--osc-udp PORT", "--osc-tcp PORT", "--http PORT", "--listen ADDR", "--mqtt HOST[:PORT]",
        "--mqtt-prefix P", "--mqtt-user U", "--mqtt-password-file F", "--mqtt-cafile F", "--fast"}},
      {{"fleet"}, {"scan", "backup", "download"}},
      {{"fleet", "scan"}, {"--json", "--expect N|PORT:ID,..."}},
      {{"fleet", "backup"}, {"DIR", "--fast", "--json", "--expect"}},
      {{"fleet", "download"},
       {"FILE", "--all", "--units PORT:ID,...", "--verify", "--fast", "--json", "--expect"}},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& word : c.command) name += (name.empty() ? "" : " ") + word;
    for (const char* help : {"--help", "-h"}) {
      std::vector<std::string> args = {"--ports", unit.Path()};
      args.insert(args.end(), c.command.begin(), c.command.end());
      args.push_back(help);
      const RunResult run = RunCli(args);
      EXPECT_EQ(run.status, 0) << name << " " << help << ": " << run.err;
      EXPECT_EQ(run.err, "") << name;
      EXPECT_NE(run.out.find("Usage: corvella-cli " + name + " "), std::string::npos) << run.out;
      for (const std::string& option : c.options) {
        EXPECT_NE(run.out.find(option), std::string::npos) << name << " lacks " << option;
      }
    }
  }
  EXPECT_TRUE(unit.Received().empty());
}

TEST(CliCommandHelp, MalformedLinesAreRefusedInOneLineBeforeAnyPortOpens) {
  const ScratchDir dir("command_refusals");
  SimUnit unit(dir.Path(), {});
  ASSERT_FALSE(unit.Path().empty());
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const std::vector<Case> cases = {
      // An option the command does not have, before or after the command.
      {{"--colour", "scan"}, "unknown option: --colour"},
      {{"programs", "--colour"}, "unexpected argument to programs: --colour"},
      {{"upload", "a.asc", "--verify"}, "unexpected argument to upload: --verify"},
      {{"fleet", "scan", "--all"}, "unexpected argument to fleet scan: --all"},
      {{"--quiet=no", "scan"}, "unknown option: --quiet=no"},
      {{"download", "a.asc", "--verify=no"}, "unexpected argument to download: --verify=no"},
      // The line ends where a value should be.
      {{"--id"}, "--id must be a unit ID from 1 to 10"},
      {{"recall", "3", "-o"}, "-o needs a FILE"},
      {{"recall", "3", "-o="}, "-o needs a FILE"},
      {{"fleet", "download", "a.asc", "--units"}, "--units needs PORT:ID[,PORT:ID...]"},
      {{"serve", "--http"}, "--http needs a value"},
      // A value out of its range, or one that names nothing.
      {{"serve", "--http", "65536"}, "--http needs a port number 0..65535"},
      {{"--id=0", "scan"}, "--id must be a unit ID from 1 to 10"},
      {{"store", "-1"}, "the program memory number must be 1..6: -1"},
      {{"set-identity", "11", "Left"}, "the unit ID must be 1..10: 11"},
      {{"fleet", "scan", "--expect", "ttyUSB0:11"},
       "--expect: each unit is PORT:ID with an ID from 1 to 10: ttyUSB0:11"},
      // A second command is an argument too many, not a second command.
      {{"scan", "programs"}, "unexpected argument to scan: programs"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--ports", unit.Path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = RunCli(args);
    EXPECT_EQ(run.status, 2) << c.reason;
    EXPECT_EQ(run.out, "") << c.reason;
    EXPECT_EQ(run.err, "corvella-cli: " + c.reason + "\n" + kTryHelp);
  }
  EXPECT_TRUE(unit.Received().empty());
}

TEST(CliCommandHelp, OutputAfterAnEqualsSignIsTheFileNamed) {
  const ScratchDir dir("output_equals");
  const std::string set = (dir.Path() / "set.asc").string();
  ProgramParameters p{};
  ResetParameters(p);
  ASSERT_TRUE(SaveParametersFile(set, p).ok);
  const fs::path out = dir.Path() / "filters.txt";
  const RunResult run = RunCli({"export-filters", set, "--stage", "high", "-o=" + out.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(out));
}

}  // namespace
}  // namespace corvella::cli::testing
