// corvella-cli fleet against several lines of virtual units at once, each line a real
// pseudo-terminal served by a virtual unit host in this process (so each unit can have faults of
// its own): what is listed, which files appear and what they hold, which units are written.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "cli_harness.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"
#include "sim/virtual_unit_host.h"

namespace corvella::cli::testing {
namespace {

using nlohmann::json;

// A program of its own for every seed, differing from the start-up values in several blocks.
ProgramParameters Program(int seed, std::string_view name) {
  ProgramParameters p{};
  ResetParameters(p, sim::PadName(name, kProgramNameLength));
  p.programNumber = static_cast<std::uint8_t>(1 + seed % 6);
  p.inputLevel[1] = static_cast<std::uint8_t>(150 + seed);
  p.outputPeq[2][0] = PeqBand{1, static_cast<std::uint8_t>(40 + seed), 30, 20};
  p.outputDelay[1] = 100 + seed;
  p.dynamics.threshold = static_cast<std::uint8_t>(50 + seed);
  p.outputPhase[seed % 2] = 1;
  return p;
}

struct Seat {
  int id;
  std::string name;
  sim::FaultPlan faults = {};
};

// One line: its units, each running Program(id * 7 + line seed).
class Line {
 public:
  Line(int seed, const std::vector<Seat>& seats) {
    std::vector<sim::VirtualUnit> units;
    for (const Seat& seat : seats) {
      sim::VirtualUnit unit(seat.id, seat.name);
      unit.Current() = Program(seed + seat.id * 7, "Program of " + seat.name);
      unit.SetFaults(seat.faults);
      units.push_back(std::move(unit));
    }
    host_ = std::make_unique<sim::VirtualUnitHost>(std::move(units));
    started_ = host_->Start();
  }
  bool Started() const { return started_; }
  const std::string& Path() const { return host_->SlavePath(); }
  std::string Name() const { return "pts" + fs::path(Path()).filename().string(); }
  sim::VirtualUnit Unit(std::size_t index) const { return *host_->Unit(index); }
  // The frames addressed to unit `id` ("(03...)"), probes included.
  std::vector<std::string> FramesTo(int id) const {
    std::vector<std::string> frames;
    const std::string prefix = "(" + sim::FormatDeviceId(id);
    for (const std::string& f : host_->ReceivedFrames())
      if (f.rfind(prefix, 0) == 0) frames.push_back(f);
    return frames;
  }

 private:
  std::unique_ptr<sim::VirtualUnitHost> host_;
  bool started_ = false;
};

std::string Ports(const std::vector<const Line*>& lines) {
  std::string list;
  for (const Line* line : lines) list += (list.empty() ? "" : ",") + line->Path();
  return list;
}

// What the transfer carries: the number, the name and every parameter field.
std::string Carried(const ProgramParameters& p) {
  const auto image = ToImage(p);
  return std::string(image.begin(), image.begin() + 134);
}

std::string CarriedIn(const fs::path& file) {
  ProgramParameters p{};
  EXPECT_TRUE(LoadParametersFile(file, p).ok) << file;
  return Carried(p);
}

TEST(FleetCli, ScanListsEveryUnitOfEveryPortAndPassesOverAnEmptyOne) {
  Line a(1, {{1, "Left Top......"}, {3, "Left Bottom..."}});
  // A host always plays a unit; one that never answers leaves the line empty.
  sim::FaultPlan mute;
  mute.silent = true;
  Line empty(2, {{1, "Nobody", mute}});
  Line c(3, {{2, "Right Top....."}, {7, "Right Bottom.."}});
  ASSERT_TRUE(a.Started() && empty.Started() && c.Started());
  const std::string ports = Ports({&a, &empty, &c});

  const RunResult text = RunCli({"--ports", ports, "fleet", "scan"});
  EXPECT_EQ(text.status, 0) << text.err;
  std::string expected;
  for (const auto& [line, index] : {std::pair{&a, 0}, {&a, 1}, {&c, 0}, {&c, 1}}) {
    const sim::VirtualUnit unit = line->Unit(static_cast<std::size_t>(index));
    expected += line->Path() + "\t" + std::to_string(unit.Id()) + "\t" + unit.Name() + "\t0\t" +
                std::to_string(unit.Current().programNumber) + "\t" + unit.ProgramName() + "\n";
  }
  EXPECT_EQ(text.out, expected);
  // Not a terminal: plain lines, one per change, never the in-place redraw.
  EXPECT_NE(text.err.find(a.Name() + ": ID 3 (2/2) reading the program information"),
            std::string::npos)
      << text.err;
  EXPECT_EQ(text.err.find('\x1b'), std::string::npos);

  const RunResult asJson = RunCli({"--ports", ports, "--quiet", "fleet", "scan", "--json"});
  EXPECT_EQ(asJson.status, 0) << asJson.err;
  EXPECT_EQ(asJson.err, "");
  const json units = json::parse(asJson.out);
  ASSERT_EQ(units.size(), 4u) << asJson.out;
  EXPECT_EQ(units[2]["port"], c.Path());
  EXPECT_EQ(units[2]["portName"], c.Name());
  EXPECT_EQ(units[2]["id"], 2);
  EXPECT_EQ(units[2]["deviceName"], "Right Top.....");
  EXPECT_EQ(units[2]["programNumber"], c.Unit(0).Current().programNumber);
  EXPECT_EQ(units[2]["programName"], c.Unit(0).ProgramName());
  EXPECT_EQ(units[2]["result"], "ok");
  // A scan reads the program information only: no unit was asked for a parameter.
  for (const std::string& frame : a.FramesTo(3)) EXPECT_EQ(frame.find('%'), std::string::npos);
}

TEST(FleetCli, BackupKeepsEveryOtherUnitWhenOneFallsSilentMidUpload) {
  sim::FaultPlan silent;
  silent.silentAfterFrames = 6;  // the probe, the program information and four blocks
  Line a(4, {{1, "Stage Left...."}, {2, "Stage/Right:.."}});
  Line b(5, {{4, "Fill"}});
  ASSERT_TRUE(a.Started() && b.Started());
  // Unit 5 is worked after unit 2 has failed on the same line.
  Line faulty(6, {{2, "Balcony", silent}, {5, "Balcony Rear"}});
  ASSERT_TRUE(faulty.Started());
  ScratchDir dir("fleet_backup");

  const RunResult run =
      RunCli({"--ports", Ports({&a, &faulty, &b}), "fleet", "backup", dir.Path().string()});
  EXPECT_EQ(run.status, 1) << run.out << run.err;

  // The names are the port's base name, the ID and the unit's name made safe for a file.
  const fs::path left = dir.Path() / (a.Name() + "-1-Stage_Left.asc");
  const fs::path right = dir.Path() / (a.Name() + "-2-Stage_Right.asc");
  const fs::path fill = dir.Path() / (b.Name() + "-4-Fill.asc");
  const fs::path rear = dir.Path() / (faulty.Name() + "-5-Balcony_Rear.asc");
  EXPECT_EQ(CarriedIn(rear), Carried(faulty.Unit(1).Current()));
  EXPECT_EQ(CarriedIn(left), Carried(a.Unit(0).Current()));
  EXPECT_EQ(CarriedIn(right), Carried(a.Unit(1).Current()));
  EXPECT_EQ(CarriedIn(fill), Carried(b.Unit(0).Current()));
  // The silent unit leaves no file, not even a temporary one.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> expectedNames = {left.filename().string(), right.filename().string(),
                                            fill.filename().string(), rear.filename().string(),
                                            "manifest.json"};
  std::sort(expectedNames.begin(), expectedNames.end());
  EXPECT_EQ(names, expectedNames);

  const json manifest = json::parse(ReadAll(dir.Path() / "manifest.json"));
  ASSERT_EQ(manifest["units"].size(), 5u) << manifest.dump(2);
  EXPECT_EQ(manifest["result"], "failed");
  for (const json& unit : manifest["units"]) {
    const bool broken = unit["port"] == faulty.Path() && unit["id"] == 2;
    EXPECT_EQ(unit["result"], broken ? "failed" : "ok") << unit.dump();
    if (broken) {
      EXPECT_TRUE(unit["file"].is_null());
      EXPECT_EQ(unit["detail"], "-> Connection Lost...");
      EXPECT_TRUE(unit["programNumber"].is_null());
    } else {
      EXPECT_TRUE(fs::exists(dir.Path() / unit["file"].get<std::string>()));
      EXPECT_GT(unit["seconds"].get<double>(), 7.0);  // 34 steps of 230 ms at least
    }
  }
  EXPECT_NE(run.err.find("fleet: " + faulty.Path() + " ID 2: -> Connection Lost..."),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("FAILED"), std::string::npos) << run.out;
}

TEST(FleetCli, DownloadWritesAndVerifiesOnlyTheUnitsNamed) {
  Line a(7, {{1, "Left"}, {2, "Right"}});
  Line b(8, {{5, "Sub"}});
  ASSERT_TRUE(a.Started() && b.Started());
  ScratchDir dir("fleet_download");
  const ProgramParameters wanted = Program(40, "Evening show");
  const fs::path file = dir.Path() / "evening.asc";
  ASSERT_TRUE(SaveParametersFile(file, wanted).ok);
  const ProgramParameters untouched = a.Unit(0).Current();

  // A port by its base name and by its place in the table.
  const RunResult run = RunCli({"--ports", Ports({&a, &b}), "fleet", "download", file.string(),
                                "--units", a.Name() + ":2,COM2:5", "--verify"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  // The unit keeps its program number; everything else is the file's.
  for (const sim::VirtualUnit& unit : {a.Unit(1), b.Unit(0)}) {
    ProgramParameters expected = wanted;
    expected.programNumber = unit.Current().programNumber;
    EXPECT_EQ(Carried(unit.Current()), Carried(expected)) << unit.Id();
  }
  // Unit 1 shares the line and heard only its probe.
  EXPECT_EQ(Carried(a.Unit(0).Current()), Carried(untouched));
  EXPECT_EQ(a.FramesTo(1), std::vector<std::string>{"(01X)"});
  // Each written unit was read back whole after its download.
  std::size_t reads = 0;
  for (const std::string& frame : b.FramesTo(5)) reads += frame.rfind("(05%", 0) == 0 ? 1u : 0u;
  EXPECT_EQ(reads, 33u);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
  EXPECT_NE(run.out.find("verified"), std::string::npos) << run.out;
}

// Fast mode takes each step as its answer is in; the files are the same as the default mode's.
TEST(FleetCli, AFastBackupAndDownloadCarryExactlyWhatTheDefaultModeDoes) {
  Line a(9, {{1, "Front"}, {3, "Back"}});
  ASSERT_TRUE(a.Started());
  ScratchDir dir("fleet_fast");
  const RunResult backup =
      RunCli({"--ports", Ports({&a}), "fleet", "backup", "--fast", dir.Path().string()});
  EXPECT_EQ(backup.status, 0) << backup.out << backup.err;
  EXPECT_EQ(CarriedIn(dir.Path() / (a.Name() + "-1-Front.asc")), Carried(a.Unit(0).Current()));
  EXPECT_EQ(CarriedIn(dir.Path() / (a.Name() + "-3-Back.asc")), Carried(a.Unit(1).Current()));

  const ProgramParameters wanted = Program(12, "Fast and exact");
  const fs::path file = dir.Path() / "fast.asc";
  ASSERT_TRUE(SaveParametersFile(file, wanted).ok);
  const RunResult download = RunCli(
      {"--ports", Ports({&a}), "fleet", "download", file.string(), "--all", "--verify", "--fast"});
  EXPECT_EQ(download.status, 0) << download.out << download.err;
  for (const sim::VirtualUnit& unit : {a.Unit(0), a.Unit(1)}) {
    ProgramParameters expected = wanted;
    expected.programNumber = unit.Current().programNumber;
    EXPECT_EQ(Carried(unit.Current()), Carried(expected)) << unit.Id();
  }
}

TEST(FleetCli, BadFleetCallsAreRefusedBeforeAnyPortOpens) {
  ScratchDir dir("fleet_usage");
  const fs::path file = dir.Path() / "p.asc";
  ProgramParameters p{};
  ResetParameters(p);
  ASSERT_TRUE(SaveParametersFile(file, p).ok);
  const std::string ports = "/dev/null-no-such-port";
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"fleet"}, "fleet needs scan, backup DIR or download FILE"},
      {{"fleet", "restore"}, "unknown fleet action: restore"},
      {{"fleet", "download", file.string()}, "needs either --all or --units"},
      {{"fleet", "download", file.string(), "--all", "--units", "x:1"},
       "needs either --all or --units"},
      {{"fleet", "download", file.string(), "--units", "x:11"}, "x:11"},
      {{"fleet", "download", file.string(), "--units", ":3"}, "PORT:ID"},
      {{"--id", "2", "fleet", "download", file.string(), "--all"}, "--units PORT:ID"},
      {{"fleet", "download", file.string(), "--units", "ttyUSB9:1"}, "no port ttyUSB9"},
      {{"fleet", "backup", file.string()}, "not a folder"},
      {{"fleet", "scan", "--expect", "0"}, "--expect: each unit is PORT:ID"},
      {{"fleet", "scan", "--expect", "ttyUSB9:1"}, "--expect: no port ttyUSB9"},
      {{"fleet", "backup", "--fast"}, "fleet backup needs a DIR"},
      {{"fleet", "backup", dir.Path().string(), "--verify"}, "unexpected argument"},
      {{"fleet", "download", (dir.Path() / "missing.asc").string(), "--all"}, "missing.asc"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--ports", ports};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = RunCli(args);
    EXPECT_EQ(run.status, 2) << c.says << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace corvella::cli::testing
