// The operator's actions on the PC's set as the window and the tool share them: what a file, a
// damaged file or a missing default does to the set, the pages and the unit.
#include "core/unit_controller.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "support/engine_harness.h"
#include "support/temp_dir.h"

namespace corvella::test {
namespace {

namespace fs = std::filesystem;
using core::DefaultLoad;
using link::BoxIcon;
using link::Chain;
using link::Outcome;
using link::ReloadForm;

// The core over a virtual clock and a port whose far side is a bus of virtual units.
struct CoreHarness {
  CoreHarness() {
    auto& units = port.buses[1].Units();
    units.emplace_back(1, sim::kDefaultUnitName, sim::ProbeKind::Long);
  }
  sim::VirtualUnit& Unit() { return port.Unit(1); }
  void Attach() {
    port.Open(&core.engine(), 1, 9600, 'N', 8, 2, 9, 512);
    core.session().link.linkConnected = 1;
    core.session().link.deviceId = 1;
  }
  void RunIdle() {
    clock.AdvanceUntil([this] { return !core.engine().ChainRunning(); }, 120'000);
  }

  std::unique_ptr<VirtualClock> ownedClock = std::make_unique<VirtualClock>();
  VirtualClock& clock = *ownedClock;
  RecordingView view;
  UnitPort port{clock};
  core::UnitController core{port, std::move(ownedClock), view, 1};
};

ProgramParameters Sample(std::string_view name) {
  ProgramParameters p{};
  ResetParameters(p, name);
  p.programNumber = 4;
  p.inputLevel[0] = 170;
  p.outputPeq[2][1].gain = 30;
  p.outputDelay[1] = 300;
  return p;
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(UnitController, OpeningAFileReplacesTheSetAndAFailureSaysWhyButStillReloads) {
  TempDir dir;
  CoreHarness h;
  const ProgramParameters sample = Sample("Evening show");
  ASSERT_TRUE(SaveParametersFile(dir / "evening.asc", sample).ok);

  ASSERT_TRUE(h.core.OpenParametersFile(dir / "evening.asc").ok);
  EXPECT_EQ(h.core.parameters(), sample);
  EXPECT_EQ(h.core.session().programNameText, ProgramNameText(sample));
  EXPECT_EQ(h.view.LastStatus(), kFileOpenSuccessText);
  EXPECT_EQ(h.view.reloads, std::vector<ReloadForm>{ReloadForm::FileLoad});
  EXPECT_TRUE(h.view.boxes.empty());

  // One byte short: the file's own box, and the pages still follow the (repaired) set.
  WriteBytes(dir / "short.asc", std::string(kParameterImageSize - 1, '\x01'));
  EXPECT_EQ(h.core.OpenParametersFile(dir / "short.asc").failure, FileFailure::WrongLength);
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].text, kFileInvalidText);
  EXPECT_EQ(h.view.boxes[0].caption, kFileInvalidCaption);
  EXPECT_FALSE(h.view.boxes[0].textFromSystem);
  EXPECT_EQ(h.view.reloads.size(), 2u);

  // A file that is not there: the system's words after the file's name, marked as such.
  EXPECT_EQ(h.core.OpenParametersFile(dir / "missing.asc").failure, FileFailure::OpenFailed);
  ASSERT_EQ(h.view.boxes.size(), 2u);
  EXPECT_EQ(h.view.boxes[1].caption, kFileSystemErrorCaption);
  EXPECT_TRUE(h.view.boxes[1].textFromSystem);
  EXPECT_EQ(h.view.boxes[1].text, (dir / "missing.asc").string() + ": No such file or directory");

  // Cancelled: nothing read, but a damaged set is repaired (one warning) and reloaded.
  h.core.parameters().inputLevel[1] = 250;
  h.core.parameters().outputDelay[0] = 5000;
  EXPECT_EQ(h.core.OpenParametersFile(std::nullopt).failure, FileFailure::None);
  EXPECT_EQ(h.view.repairWarnings, 1);
  EXPECT_EQ(h.view.reloads.size(), 4u);
  EXPECT_FALSE(RepairParameters(h.core.parameters()));
  EXPECT_EQ(h.view.boxes.size(), 2u);
}

TEST(UnitController, SavingWritesTheSetOrSaysWhyAndKeepsTheOldFile) {
  TempDir dir;
  CoreHarness h;
  h.core.parameters() = Sample("Saved");
  ASSERT_TRUE(h.core.SaveParametersFile(dir / "saved.asc").ok);
  EXPECT_EQ(h.view.LastStatus(), kFileSavedSuccessText);
  ProgramParameters back{};
  ASSERT_TRUE(LoadParametersFile(dir / "saved.asc", back).ok);
  EXPECT_EQ(back, h.core.parameters());

  // A folder that does not exist: the system's reason in a box, no success text.
  const std::size_t statuses = h.view.statuses.size();
  EXPECT_FALSE(h.core.SaveParametersFile(dir / "no-such-folder" / "x.asc").ok);
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].icon, BoxIcon::Stop);
  EXPECT_TRUE(h.view.boxes[0].textFromSystem);
  EXPECT_EQ(h.view.statuses.size(), statuses);
}

TEST(UnitController, TheFactoryDefaultIsNeverRenamedOrSentWhenItIsMissingOrDamaged) {
  TempDir dir;
  CoreHarness h;
  h.Attach();
  h.core.SetFactoryDefaultFolder(dir.path());
  const ProgramParameters before = h.core.parameters();

  EXPECT_EQ(h.core.LoadFactoryDefault(), DefaultLoad::Missing);
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].text, kFactoryDefaultMissingText);
  EXPECT_EQ(h.view.boxes[0].caption, kFactoryDefaultMissingCaption);

  WriteBytes(dir / std::string(kFactoryDefaultFileName), "too short");
  EXPECT_EQ(h.core.LoadFactoryDefault(), DefaultLoad::Invalid);
  ASSERT_EQ(h.view.boxes.size(), 2u);
  EXPECT_EQ(h.view.boxes[1].text, kFactoryDefaultInvalidText);
  EXPECT_EQ(h.view.boxes[1].caption, kFactoryDefaultInvalidCaption);
  EXPECT_EQ(h.core.parameters(), before);
  EXPECT_TRUE(h.port.sent.empty());
  EXPECT_TRUE(h.view.reloads.empty());
}

TEST(UnitController, TheFactoryDefaultGoesIntoTheSetAndIntoAConnectedUnit) {
  TempDir dir;
  const fs::path file = dir / std::string(kFactoryDefaultFileName);
  ASSERT_TRUE(SaveParametersFile(file, Sample("whatever the file says")).ok);

  {  // No unit: the set only, under the factory name.
    CoreHarness h;
    EXPECT_EQ(h.core.LoadFactoryDefault(file), DefaultLoad::Loaded);
    EXPECT_EQ(ProgramNameText(h.core.parameters()), kFactoryDefaultName);
    EXPECT_EQ(h.core.parameters().outputDelay[1], 300);
    EXPECT_TRUE(h.port.sent.empty());
  }
  {  // Connected: downloaded, stored and read back; the unit ends up holding it.
    CoreHarness h;
    h.Attach();
    EXPECT_EQ(h.core.LoadFactoryDefault(file), DefaultLoad::DownloadStarted);
    h.RunIdle();
    ASSERT_FALSE(h.view.ended.empty());
    EXPECT_EQ(h.view.ended.back().chain, Chain::FactoryDefault);
    EXPECT_EQ(h.view.ended.back().outcome, Outcome::Done) << h.view.ended.back().detail;
    EXPECT_EQ(h.Unit().Current().outputDelay[1], 300);
    EXPECT_EQ(ProgramNameText(h.Unit().Current()), kFactoryDefaultName);

    // While another chain runs the set is still loaded, but nothing is sent.
    ASSERT_TRUE(h.core.ListPrograms());
    const std::size_t sent = h.port.sent.size();
    EXPECT_EQ(h.core.LoadFactoryDefault(file), DefaultLoad::Refused);
    EXPECT_EQ(h.view.ended.back().outcome, Outcome::Refused);
    EXPECT_EQ(h.port.sent.size(), sent);
  }
}

TEST(UnitController, TakingTheUnitsProgramRepairsItAndReloadsAsAnUpload) {
  CoreHarness h;
  ProgramParameters fromUnit = Sample("From the unit");
  fromUnit.inputLevel[0] = 250;
  h.core.TakeProgram(fromUnit);
  EXPECT_EQ(h.view.repairWarnings, 1);
  EXPECT_EQ(h.view.reloads, std::vector<ReloadForm>{ReloadForm::Upload});
  EXPECT_EQ(h.view.headerRepaints, 1);
  EXPECT_EQ(h.core.parameters().outputDelay[1], 300);
  EXPECT_FALSE(RepairParameters(h.core.parameters()));
}

}  // namespace
}  // namespace corvella::test
