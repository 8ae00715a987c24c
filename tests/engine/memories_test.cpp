// Program memories (list, recall, store, rename) and the device identity change.
#include <gtest/gtest.h>

#include "support/engine_harness.h"
#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

std::string Name(const ProgramParameters& p) {
  return std::string(p.programName.begin(), p.programName.end());
}

TEST(ProgramList, SilentUnitMarksEveryLineNoUsed) {
  Harness h(1);
  h.AddUnit().SetFaults(Silent());
  h.Attach();
  h.engine.ListPrograms();
  // Each memory is given up after four ticks of 300 ms, then the next is asked for.
  h.clock.AdvanceUntil([&h] { return h.view.listLines.size() == 6; }, 20'000);
  EXPECT_EQ(h.clock.Now(), 6 * 1200);
  EXPECT_EQ(h.view.listLines[1].first, "Program No.1        No Used");
  EXPECT_EQ(h.view.listLines[2].first, "Program No.2       No Used");
  EXPECT_EQ(h.view.listLines[6].first, "Program No.6       No Used");
  for (const auto& [n, line] : h.view.listLines) EXPECT_FALSE(line.second) << n;
  ASSERT_EQ(h.port.sent.size(), 6u);
  EXPECT_EQ(h.port.sent[0].frame, "(01I001)");
  EXPECT_EQ(h.port.sent[5].frame, "(01I006)");
  EXPECT_EQ(h.port.sent[5].at, 5 * 1200);
  EXPECT_EQ(h.session.link.waitCount, 0);

  // The capture is released a second later, without holding anything up meanwhile.
  h.clock.Advance(999);
  EXPECT_EQ(h.view.captureReleases, 0);
  h.clock.Advance(1);
  EXPECT_EQ(h.view.captureReleases, 1);
  EXPECT_TRUE(h.NoTimers());
}

TEST(ProgramList, UsedMemoriesAreListedAndRecalled) {
  Harness h(1);
  auto& unit = h.AddUnit();
  ProgramParameters stage = unit.Current();
  const std::string stageName = "Stage.....................";
  std::copy(stageName.begin(), stageName.begin() + 25, stage.programName.begin());
  stage.outputLevel[1] = 77;
  stage.crossover[0].hpfType = 5;
  unit.SetMemory(3, stage);
  h.Connect();
  const std::size_t before = h.port.sent.size();

  h.engine.ListPrograms();
  h.RunIdle();
  EXPECT_EQ(h.view.listLines[3].first, "Program No.3        " + stageName.substr(0, 25));
  EXPECT_TRUE(h.view.listLines[3].second);
  EXPECT_EQ(h.view.listLines[1].first, "Program No.1        No Used");
  EXPECT_FALSE(h.view.listLines[1].second);
  EXPECT_EQ(h.port.sent.size(), before + 6);
  EXPECT_EQ(h.view.captureReleases, 2) << "one at the end of the upload, one after the list";

  h.engine.RecallProgram(3);
  EXPECT_EQ(h.port.sent.back().frame, "(01R003)");
  h.RunIdle();
  EXPECT_TRUE(h.view.SawStatus(kRecallOk));
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(h.session.parameters.outputLevel[1], 77);
  EXPECT_EQ(h.session.parameters.crossover[0].hpfType, 5);
  EXPECT_EQ(Name(h.session.parameters), stageName.substr(0, 25));
}

TEST(ProgramList, AskingAgainMidListStartsOverWithOneChain) {
  Harness h(1);
  auto& unit = h.AddUnit();
  ProgramParameters stage = unit.Current();
  const std::string stageName = "Stage.....................";
  std::copy(stageName.begin(), stageName.begin() + 25, stage.programName.begin());
  unit.SetMemory(3, stage);
  h.Attach();
  h.engine.ListPrograms();
  h.clock.AdvanceUntil([&h] { return h.view.listLines.size() == 2; }, 5'000);
  h.view.listLines.clear();
  const std::size_t before = h.port.sent.size();

  h.engine.ListPrograms();
  h.RunIdle();
  ASSERT_EQ(h.port.sent.size(), before + 6) << "one request per memory, no second chain";
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(h.port.sent[before + static_cast<std::size_t>(n) - 1].frame,
                                         "(01I00" + std::to_string(n) + ")");
  EXPECT_EQ(h.view.listLines[3].first, "Program No.3        " + stageName.substr(0, 25));
  EXPECT_EQ(h.view.listLines[4].first, "Program No.4       No Used");
  EXPECT_EQ(h.view.captureReleases, 1);
}

TEST(ProgramList, RecallAfterACutOffDownloadReadsTheRecalledProgram) {
  Harness h(1);
  auto& unit = h.AddUnit();
  ProgramParameters stage = unit.Current();
  const std::string stageName = "Recalled..................";
  std::copy(stageName.begin(), stageName.begin() + 25, stage.programName.begin());
  stage.outputLevel[0] = 33;
  unit.SetMemory(2, stage);
  h.Attach();
  // What a download that stopped half way leaves behind.
  h.session.link.transferDirection = 1;
  h.session.link.keepPcName = 1;
  h.session.parameters.outputLevel[0] = 190;

  h.engine.RecallProgram(2);
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(h.session.parameters.outputLevel[0], 33);
  EXPECT_EQ(Name(h.session.parameters), stageName.substr(0, 25));
  EXPECT_EQ(unit.Current().outputLevel[0], 33) << "the unit's recalled program was overwritten";
  for (const auto& s : h.port.Frames()) EXPECT_NE(s.substr(3, 1), "$") << s;
}

TEST(ProgramMemories, RenameAndStore) {
  Harness h(1);
  h.AddUnit();
  // Not connected: the name is still taken, nothing is written.
  EXPECT_FALSE(h.engine.SetProgramName("Live"));
  EXPECT_EQ(Name(h.session.parameters), "Live" + std::string(21, '.'));
  EXPECT_TRUE(h.port.sent.empty());

  h.Attach();
  EXPECT_TRUE(h.engine.SetProgramName("Show (main)"));
  EXPECT_EQ(h.port.sent.back().frame, "(01J0003Show .main." + std::string(14, '.') + ")");
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kProgramInfoOk);
  EXPECT_EQ(h.port.Unit(1).ProgramName(), "Show .main." + std::string(14, '.'));

  EXPECT_TRUE(h.engine.StoreProgram(4));
  EXPECT_EQ(h.port.sent.back().frame, "(01S004)");
  EXPECT_EQ(h.session.link.identityShown, 1);
  h.RunIdle();
  EXPECT_TRUE(h.view.SawStatus(kSaveOk));
  EXPECT_EQ(h.port.sent.back().frame, "(01I000)");
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(h.session.link.infoOnly, 0);
  ASSERT_TRUE(h.port.Unit(1).Memory(4).has_value());

  // A store the unit refuses (answer of another unit) shows the box and stops there.
  h.port.script = [](int, const std::string&) { return std::vector<Answer>{{"(02S004)"}}; };
  const std::size_t sent = h.port.sent.size();
  h.engine.StoreProgram(4);
  h.RunIdle();
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].text, kProgramRestoreFailed);
  EXPECT_EQ(h.port.sent.size(), sent + 1);
}

TEST(DeviceIdentity, ChangeTakesEffectAfterBothSteps) {
  Harness h(1);
  h.AddUnit();
  h.Attach();
  h.session.link.deviceName = "Virtual Unit..";
  EXPECT_TRUE(h.engine.ChangeDeviceIdentity(7, "Stage left"));
  EXPECT_EQ(h.port.sent.back().frame, "(01Z07Stage left....)");
  EXPECT_EQ(h.session.link.deviceId, 1) << "not before the unit confirmed";
  h.RunIdle();
  EXPECT_EQ(h.port.sent.back().frame, "(07YStage left....)");
  EXPECT_EQ(h.view.LastStatus(), kIdentityOk);
  EXPECT_EQ(h.session.link.deviceId, 7);
  EXPECT_EQ(h.session.link.deviceName, "Stage left....");
  EXPECT_EQ(h.session.link.identityShown, 1);
  EXPECT_EQ(h.port.Unit(1).Id(), 7);

  // Later frames carry the new ID, and the unit answers them.
  h.engine.SendParameter(OutputPhaseFrame(7, Output::High, 1), timers::kPhase, 300);
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kResponseOk);

  // A wrong first answer ends the change and says so.
  h.port.script = [](int, const std::string&) { return std::vector<Answer>{{"(03Z)"}}; };
  h.engine.ChangeDeviceIdentity(2, "x");
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kResponseError);
  EXPECT_EQ(h.session.link.deviceId, 7);
}

// Once the unit confirmed "Z" it answers only to its new ID: the PC follows at once, so a failed
// "Y" leaves a link that still works, showing the new ID with the old name.
TEST(DeviceIdentity, AFailedNameStepKeepsTheNewIdAndSaysWhy) {
  for (const bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "no answer to Y" : "wrong answer to Y");
    Harness h(1);
    h.AddUnit();
    h.Attach();
    h.session.link.deviceName = "Virtual Unit..";
    h.session.link.identityShown = 1;
    h.port.script = [&h, silent](int, const std::string& frame) {
      if (frame[3] == 'Y') {
        return silent ? std::vector<Answer>{} : std::vector<Answer>{{"(04Q)"}};
      }
      std::vector<Answer> out;
      for (const char c : frame)
        for (const auto& r : h.port.buses[1].Feed(c).replies) out.push_back({r.bytes});
      return out;
    };
    h.engine.ChangeDeviceIdentity(4, "Stage right");
    h.RunIdle();
    EXPECT_EQ(h.view.LastStatus(), silent ? kConnectionLost : kResponseError);
    EXPECT_EQ(h.session.link.deviceId, 4);
    EXPECT_EQ(h.session.link.deviceName, "Virtual Unit..");
    EXPECT_EQ(h.port.Unit(1).Id(), 4);

    // The next command reaches the unit under its new ID.
    h.port.script = nullptr;
    h.Edit(OutputPhaseFrame(h.session.link.deviceId, Output::High, 1), timers::kPhase);
    h.RunIdle();
    EXPECT_EQ(h.view.LastStatus(), kResponseOk);
  }
}

TEST(ProgramMemories, ARecallTheUnitAnswersWronglySaysSo) {
  Harness h(1);
  h.AddUnit();
  h.Attach();
  h.port.script = [](int, const std::string&) { return std::vector<Answer>{{"(01R002)"}}; };
  const ProgramParameters before = h.session.parameters;
  EXPECT_TRUE(h.engine.RecallProgram(1));
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kResponseError);
  EXPECT_EQ(h.port.sent.size(), 1u) << "nothing is read after a recall that did not happen";
  EXPECT_EQ(h.session.parameters, before);
}

// The header shows a new program name only once the unit has it; a rename that fails says so.
TEST(ProgramMemories, TheHeaderShowsANewNameOnlyOnceTheUnitConfirmedIt) {
  Harness h(1);
  h.AddUnit();
  h.Attach();
  const std::string old = h.session.HeaderProgramName();
  h.port.script = [](int, const std::string&) { return std::vector<Answer>{}; };
  EXPECT_TRUE(h.engine.SetProgramName("Evening"));
  EXPECT_EQ(Name(h.session.parameters), "Evening" + std::string(18, '.'));
  EXPECT_EQ(h.session.HeaderProgramName(), old);
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kConnectionLost) << "no answer is no longer silent";
  EXPECT_EQ(h.session.link.waitCount, 0);
  EXPECT_EQ(h.session.HeaderProgramName(), old);

  h.port.script = [](int, const std::string&) { return std::vector<Answer>{{"(01J0004)"}}; };
  h.engine.SetProgramName("Night");
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kProgramInfoFailed);
  EXPECT_EQ(h.session.HeaderProgramName(), old);

  h.port.script = nullptr;
  const int repaints = h.view.headerRepaints;
  h.engine.SetProgramName("Night");
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kProgramInfoOk);
  EXPECT_EQ(h.session.HeaderProgramName(), "Night" + std::string(20, '.'));
  EXPECT_GT(h.view.headerRepaints, repaints);

  // Any other change of the PC's name (a file, an upload) is shown as it is.
  h.engine.SetProgramName("Late");
  h.session.parameters.programName.fill('x');
  EXPECT_EQ(h.session.HeaderProgramName(), std::string(25, 'x'));
}

}  // namespace
}  // namespace corvella::test
