// The fleet's core: names made for files, and a backup over two lines at once as its progress
// and results report it, next to a port that cannot be opened.
#include "fleet/fleet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <memory>
#include <thread>

#include "fleet/manifest.h"
#include "link/journal.h"
#include "model/parameters_file.h"
#include "sim/virtual_unit_host.h"
#include "support/temp_dir.h"

namespace corvella::fleet {
namespace {

namespace fs = std::filesystem;

TEST(FleetNames, FileNamesHoldOnlySafeCharacters) {
  EXPECT_EQ(SafeFileName("Stage Left...."), "Stage_Left");
  EXPECT_EQ(SafeFileName("a/b\\c:d*e?f|g"), "a_b_c_d_e_f_g");
  EXPECT_EQ(SafeFileName(".hidden"), "_hidden");
  EXPECT_EQ(SafeFileName(".............."), "unit");
  EXPECT_EQ(SafeFileName(""), "unit");
  EXPECT_EQ(SafeFileName("Caf\xc3\xa9 1.2"), "Caf___1.2");
  EXPECT_EQ(PortName("/dev/ttyUSB0"), "ttyUSB0");
  EXPECT_EQ(PortName("/dev/pts/3"), "pts3");
  EXPECT_EQ(PortName("tcp://10.0.0.5:4001"), "10.0.0.5_4001");
  EXPECT_EQ(BackupFileName("ttyUSB1", 10, "Sub/Left......"), "ttyUSB1-10-Sub_Left.asc");
  EXPECT_TRUE(NamesPort({"ttyUSB0", 1}, "/dev/ttyUSB0"));
  EXPECT_TRUE(NamesPort({"/dev/ttyUSB0", 1}, "/dev/ttyUSB0"));
  EXPECT_FALSE(NamesPort({"ttyUSB1", 1}, "/dev/ttyUSB10"));
}

TEST(FleetNames, EachPortIsWorkedOnceAndADownloadOpensOnlyThePortsItNames) {
  const link::PortTable table({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB2"});
  Request request;
  EXPECT_EQ(PortsToWork(table, request),
            (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}));
  request.job = Job::Download;
  request.units = {{"ttyUSB2", 3}, {"/dev/ttyUSB0", 1}, {"ttyUSB2", 4}};
  EXPECT_EQ(PortsToWork(table, request),
            (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB2"}));
}

std::unique_ptr<sim::VirtualUnitHost> StartLine(int id, std::string_view name) {
  sim::VirtualUnit unit(id, name);
  unit.Current().outputDelay[0] = 200 + id;
  unit.Current().programNumber = static_cast<std::uint8_t>(id);
  auto host = std::make_unique<sim::VirtualUnitHost>(std::vector<sim::VirtualUnit>{unit});
  EXPECT_TRUE(host->Start());
  return host;
}

TEST(FleetRun, BackupOfTwoLinesReportsEveryStepOfEachAndAPortThatWillNotOpen) {
  const auto first = StartLine(4, "First");
  const auto second = StartLine(9, "Second");
  const std::string missing = "/dev/corvella-no-such-port";
  test::TempDir dir;
  const link::PortTable table({first->SlavePath(), missing, second->SlavePath()});

  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::map<std::string, std::vector<Progress>> seen;  // guarded by the fleet's one-at-a-time calls
  Request request;
  request.job = Job::Backup;
  request.folder = dir.path();
  const Report report = fleet::Run(table, request, [&](const Progress& p) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    seen[p.port].push_back(p);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    inside.fetch_sub(1);
  });
  EXPECT_FALSE(overlapped);

  ASSERT_EQ(report.ports.size(), 3u);
  EXPECT_FALSE(report.AllOk());
  EXPECT_FALSE(report.ports[1].ok);
  EXPECT_EQ(report.ports[1].detail, "cannot open the port");
  EXPECT_TRUE(report.ports[1].units.empty());

  for (const std::size_t index : {std::size_t{0}, std::size_t{2}}) {
    const PortResult& port = report.ports[index];
    const sim::VirtualUnit unit = *(index == 0 ? first : second)->Unit(0);
    EXPECT_TRUE(port.ok) << port.detail;
    ASSERT_EQ(port.units.size(), 1u);
    const UnitResult& r = port.units[0];
    EXPECT_TRUE(r.ok) << r.detail;
    EXPECT_EQ(r.id, unit.Id());
    EXPECT_EQ(r.deviceName, unit.Name());
    EXPECT_EQ(r.programNumber, unit.Id());
    EXPECT_EQ(r.file, dir.path() / BackupFileName(port.portName, unit.Id(), unit.Name()));
    ProgramParameters saved{};
    ASSERT_TRUE(LoadParametersFile(r.file, saved).ok);
    EXPECT_EQ(saved.outputDelay[0], unit.Current().outputDelay[0]);

    // Search, the upload step by step, the goodbye, done: nothing skipped or counted twice.
    std::vector<int> steps;
    std::vector<Phase> phases;
    for (const Progress& p : seen[port.port]) {
      if (phases.empty() || phases.back() != p.phase) phases.push_back(p.phase);
      if (p.phase == Phase::Upload && p.step > 0) steps.push_back(p.step);
      if (p.phase == Phase::Upload) {
        EXPECT_EQ(p.id, unit.Id());
      }
    }
    EXPECT_EQ(phases,
              (std::vector<Phase>{Phase::Search, Phase::Upload, Phase::Disconnect, Phase::Done}));
    std::vector<int> all(kTransferSteps);
    for (int i = 0; i < kTransferSteps; ++i) all[static_cast<std::size_t>(i)] = i + 1;
    EXPECT_EQ(steps, all);
  }
  EXPECT_EQ(seen[missing].back().phase, Phase::Done);
}

// Run from cron, a backup is judged by its exit status and manifest alone: they must say what
// happened, neither more nor less.
TEST(FleetRun, AnUnattendedBackupSaysExactlyWhatHappened) {
  std::vector<sim::VirtualUnit> units{sim::VirtualUnit(1, "One"), sim::VirtualUnit(2, "Two")};
  auto shared = std::make_unique<sim::VirtualUnitHost>(units);
  ASSERT_TRUE(shared->Start());
  sim::FaultPlan late;
  late.ignoreProbes = 1;  // misses the first search's probe, as a unit waking up would
  ASSERT_TRUE(shared->SetFaults(1, late));
  const auto single = StartLine(5, "Five");
  test::TempDir dir;
  const fs::path alias = dir / "by-id-five";
  fs::create_symlink(single->SlavePath(), alias);
  const link::PortTable table(
      {shared->SlavePath(), "/dev/corvella-no-such-port", single->SlavePath(), alias.string()});

  link::Journal journal;
  ASSERT_TRUE(journal.Open((dir / "link.log").string()));
  Request request;
  request.job = Job::Backup;
  request.folder = dir / "2026-12-07";  // not there yet
  request.fast = true;
  request.portsFromSystem = true;
  request.expectUnits = {{shared->SlavePath(), 2}};
  request.journal = &journal;
  Report report = fleet::Run(table, request);
  journal.Close();

  ASSERT_EQ(report.ports.size(), 3u) << "the line under two names is worked once";
  EXPECT_TRUE(report.AllOk()) << ManifestJson(report);
  EXPECT_EQ(report.ports[1].state, PortState::NotPresent);
  ASSERT_EQ(report.ports[0].units.size(), 2u) << "the unit that missed its probe is found";
  EXPECT_TRUE(report.ports[0].units[1].ok);
  std::ostringstream text;
  text << std::ifstream(dir / "link.log").rdbuf();
  for (const std::string& port : {shared->SlavePath(), single->SlavePath()}) {
    EXPECT_NE(text.str().find(" " + port + " TX (0"), std::string::npos) << port;
  }

  // The next night: unit 5 falls silent mid-upload and its line goes away; one unit fewer than
  // expected, and yesterday's file of unit 5 is not taken for tonight's.
  const fs::path yesterday = report.ports[2].units.at(0).file;
  fs::rename(yesterday, request.folder / yesterday.filename());
  sim::FaultPlan hangUp;
  hangUp.hangUpAfterFrames = single->Unit(0)->FramesReceived() + 20;
  ASSERT_TRUE(single->SetFaults(0, hangUp));
  request.expectUnits.clear();
  request.expectCount = 4;
  report = fleet::Run(table, request);
  EXPECT_FALSE(report.AllOk());
  EXPECT_EQ(report.problems, std::vector<std::string>{"expected 4 units, found 3"});
  const PortResult& lost = report.ports[2];
  EXPECT_EQ(lost.state, PortState::Lost);
  ASSERT_EQ(lost.units.size(), 1u);
  EXPECT_FALSE(lost.units[0].ok);
  EXPECT_EQ(lost.units[0].olderFile.filename(), yesterday.filename());
  EXPECT_EQ(lost.units[0].olderFileTime.size(), std::string("2026-12-07 08:04").size());
  const std::string manifest = ManifestJson(report);
  for (const char* says : {"\"olderFile\"", "\"result\": \"lost\"", "\"result\": \"not present\"",
                           "expected 4 units, found 3"}) {
    EXPECT_NE(manifest.find(says), std::string::npos) << says << "\n" << manifest;
  }
}

}  // namespace
}  // namespace corvella::fleet
