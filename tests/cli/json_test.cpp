// --json end to end: every command's document parses as a whole, carries the values the unit and
// the files hold, and the command ends with the status it has without --json.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli_harness.h"
#include "model/parameters_file.h"
#include "model/scales.h"

namespace corvella::cli::testing {
namespace {

using nlohmann::json;

ProgramParameters UnitSet() {
  ProgramParameters p{};
  ResetParameters(p, "Unit program.............");
  p.outputPeq[0][0].type = 1;  // peaking, so its gain shows in the HIGH graph
  p.outputPeq[0][0].gain = 20;
  return p;
}

struct Step {
  std::vector<std::string> args;  // after --quiet --ports UNIT (offline commands ignore them)
  int status;                     // as without --json
  std::function<void(const json&)> check;
};

// The row of `section` / `parameter` in a list of rows or differences.
json Row(const json& rows, const std::string& section, const std::string& parameter) {
  for (const json& row : rows)
    if (row["section"] == section && row["parameter"] == parameter) return row;
  ADD_FAILURE() << "no " << section << " " << parameter;
  return json::object();
}

TEST(CliJson, EveryCommandPrintsOneDocumentWithTheUnitsAndFilesValues) {
  const ScratchDir scratch("json");
  const fs::path& dir = scratch.Path();
  const auto path = [&dir](const char* name) { return (dir / name).string(); };
  ASSERT_TRUE(SaveParametersFile(dir / "unit.asc", UnitSet()).ok);
  ProgramParameters gain = UnitSet();
  gain.outputPeq[0][0].gain = 30;
  ASSERT_TRUE(SaveParametersFile(dir / "gain.asc", gain).ok);
  ProgramParameters loud = UnitSet();
  loud.dynamics.threshold = 120;  // out of range: the repair makes it 99
  ASSERT_TRUE(SaveParametersFile(dir / "loud.asc", loud).ok);
  ProgramParameters louder = UnitSet();
  louder.outputLevel[0] = 180;
  ASSERT_TRUE(SaveParametersFile(dir / "louder.asc", louder).ok);
  SimUnit unit(dir, {"--demo", "--load", path("unit.asc")});
  fs::create_directories(dir / "deaf");
  SimUnit deaf(dir / "deaf", {"--load", path("unit.asc"), "--ignore-writes", "$049"});

  std::optional<double> plottedCrossoverHz;
  const std::vector<Step> steps = {
      {{"scan", "--json"},
       0,
       [&](const json& j) {
         ASSERT_EQ(j.size(), 1u);
         EXPECT_EQ(j[0]["port"], unit.Path());
         EXPECT_EQ(j[0]["id"], 1);
       }},
      {{"programs", "--json"},
       0,
       [](const json& j) {
         ASSERT_EQ(j.size(), 6u);
         EXPECT_EQ(j[1]["memory"], 2);
         EXPECT_EQ(j[1]["name"], "Speech...................");
         EXPECT_EQ(j[5]["used"], false);
         EXPECT_TRUE(j[5]["name"].is_null());
       }},
      {{"show", "--json", path("gain.asc")},
       0,
       [](const json& j) {
         EXPECT_EQ(Row(j, "Output PEQ HIGH", "band 1 gain")["code"], 30);
         EXPECT_EQ(Row(j, "Program", "name")["text"], "Unit program.............");
       }},
      {{"verify", "--json", "--fast", path("gain.asc")},
       1,
       [](const json& j) {
         ASSERT_EQ(j.size(), 1u);
         EXPECT_EQ(j[0]["parameter"], "band 1 gain");
         EXPECT_EQ(j[0]["a"]["code"], 30);
         EXPECT_EQ(j[0]["b"]["code"], 20);
       }},
      {{"sync", "--json", "--fast", path("gain.asc")},
       0,
       [](const json& j) {
         EXPECT_EQ(j["sent"], "edits");
         ASSERT_EQ(j["edits"].size(), 1u);
         EXPECT_EQ(j["edits"][0]["parameter"], "band 1 gain");
         EXPECT_EQ(j["differences"], json::array());
       }},
      {{"verify", "--json", "--fast", path("gain.asc")},
       0,
       [](const json& j) { EXPECT_EQ(j, json::array()); }},
      // Refused before the unit is reached: no result, so nothing on stdout.
      {{"sync", "--json", path("loud.asc")}, 1, nullptr},
      {{"download", "--json", "--fast", "--verify", "--accept-repaired", path("loud.asc")},
       0,
       [](const json& j) {
         EXPECT_EQ(Row(j["repaired"], "Compressor/Limiter", "threshold")["a"]["code"], 120);
         EXPECT_EQ(j["differences"], json::array());
       }},
      {{"download", "--json", "--fast", path("gain.asc")},
       0,
       [](const json& j) { EXPECT_TRUE(j["differences"].is_null()); }},
      {{"fleet", "backup", path("backup"), "--json", "--fast"},
       0,
       [&](const json& j) {
         ASSERT_EQ(j["units"].size(), 1u);
         EXPECT_TRUE(fs::exists(dir / "backup" / j["units"][0]["file"].get<std::string>()));
         EXPECT_EQ(j, json::parse(ReadAll(dir / "backup" / "manifest.json")));
       }},
      {{"fleet", "download", path("gain.asc"), "--all", "--verify", "--json", "--fast"},
       0,
       [](const json& j) { EXPECT_EQ(j["units"][0]["differences"], 0); }},
      {{"--ports", deaf.Path(), "sync", "--json", "--fast", path("louder.asc")},
       1,
       [](const json& j) {
         EXPECT_EQ(j["edits"][0]["parameter"], "HIGH level");
         ASSERT_EQ(j["differences"].size(), 1u);
         EXPECT_EQ(j["differences"][0]["a"]["code"], 180);
       }},
      {{"plot", path("gain.asc"), "--graph", "output-peq", "--channel", "high", "-o",
        path("high.csv"), "--json"},
       0,
       [&](const json& j) {
         EXPECT_EQ(j["file"], path("high.csv"));
         EXPECT_TRUE(fs::exists(dir / "high.csv"));
         EXPECT_EQ(j["curves"][0]["name"], "band1");
         EXPECT_NEAR(j["curves"][0]["maxDb"].get<double>(), EqGainDb(30), 0.1);
       }},
      {{"plot", path("unit.asc"), "--graph", "system", "--points", "40", "-o", path("sys.csv"),
        "--json"},
       0,
       [&](const json& j) {
         EXPECT_EQ(j["points"], 40);
         EXPECT_EQ(j["curves"][2]["name"], "sum");
         plottedCrossoverHz = j["crossover"]["crossoverHz"].get<double>();
       }},
      {{"align", path("unit.asc"), "-o", path("aligned.asc"), "--json"},
       0,
       [&](const json& j) {
         ProgramParameters aligned{};
         ASSERT_TRUE(LoadParametersFile(dir / "aligned.asc", aligned).ok);
         const std::size_t o = j["output"] == "HIGH" ? 0 : 1;
         EXPECT_EQ(aligned.outputDelay[o], j["delaySteps"].get<int>());
         EXPECT_EQ(PhaseText(aligned.outputPhase[o]), j["polarity"].get<std::string>());
         EXPECT_EQ(j["before"]["crossoverHz"].get<double>(), plottedCrossoverHz);
         EXPECT_EQ(j["file"], path("aligned.asc"));
       }},
  };
  for (const Step& step : steps) {
    std::vector<std::string> args = {"--quiet", "--ports", unit.Path()};
    if (step.args[0] == "--ports") args.resize(1);
    args.insert(args.end(), step.args.begin(), step.args.end());
    const RunResult run = RunCli(args);
    const std::string what = step.args[step.args[0] == "--ports" ? 2 : 0] + " " + step.args[1];
    EXPECT_EQ(run.status, step.status) << what << "\n" << run.err;
    if (!step.check) {
      EXPECT_EQ(run.out, "") << what;
      continue;
    }
    const json document = json::parse(run.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << what << ": not one JSON document:\n" << run.out;
    step.check(document);
  }
}

}  // namespace
}  // namespace corvella::cli::testing
