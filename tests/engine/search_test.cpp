// Device search over the port numbers, the Select dialog and connecting.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/engine_harness.h"
#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

std::vector<std::string> Probes() {
  std::vector<std::string> p;
  for (int id = 1; id <= 10; ++id) p.push_back(ProbeFrame(id));
  return p;
}

TEST(Search, OneUnitOnTheSecondPortIsFoundAndUploaded) {
  Harness h(4);  // COM1 exists without a unit, COM2 has unit 3, COM3 and COM4 do not open
  h.port.buses[1];
  auto& unit = h.AddUnit(3, 2, sim::ProbeKind::Long, "Stage left");
  unit.Current().outputDelay[1] = 321;
  unit.Current().dynamics.attackTime = 12;
  unit.SetProgramName("Concert");
  h.Connect(0);

  ASSERT_EQ(h.view.selectShown.size(), 1u);
  ASSERT_EQ(h.view.selectShown[0].size(), 1u);
  const FoundDevice& found = h.view.selectShown[0][0];
  EXPECT_EQ(found.index, 1);
  EXPECT_EQ(found.port, 2);
  EXPECT_EQ(found.id, 3);
  EXPECT_EQ(found.kind, 0);
  EXPECT_EQ(found.name, "Stage left....");
  EXPECT_EQ(h.view.searchShown, 1);
  EXPECT_GE(h.view.searchHidden, 1);

  // Ten probes on each port that opened, then the upload in table order.
  std::vector<std::string> expected = Probes();
  const auto probes = Probes();
  expected.insert(expected.end(), probes.begin(), probes.end());
  expected.push_back("(03I000)");
  for (const char* address :
       {"021100", "021101", "021200", "021201", "025100",  "025200", "041100", "042100", "041200",
        "042200", "043100", "044100", "043200", "044200",  "045100", "045101", "045102", "045103",
        "045104", "045105", "045200", "045201", "045202",  "045203", "045204", "045205", "049100",
        "049200", "051100", "051200", "059100", "0521000", "0522000"}) {
    expected.push_back(ReadRequestFrame(3, address));
  }
  expected.push_back("(03U00)");
  EXPECT_EQ(h.port.Frames(), expected);
  EXPECT_EQ(h.port.sent[0].port, 1);
  EXPECT_EQ(h.port.sent[10].port, 2);

  const LinkState& link = h.session.link;
  EXPECT_EQ(link.linkConnected, 1);
  EXPECT_EQ(link.deviceId, 3);
  EXPECT_EQ(link.comPort, 2);
  EXPECT_EQ(link.deviceName, "Stage left....");
  EXPECT_EQ(link.identityShown, 1);
  EXPECT_EQ(link.deviceInfoEditable, 1);
  EXPECT_EQ(link.uploadEnded, 1);
  EXPECT_TRUE(h.view.SawStatus(kSearching));
  EXPECT_TRUE(h.view.SawStatus(kConnected));
  EXPECT_TRUE(h.view.SawStatus(kUploading));
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);

  // The PC now holds the unit's program, byte for byte.
  const auto pc = ToImage(h.session.parameters);
  const auto device = ToImage(h.port.Unit(2).Current());
  EXPECT_TRUE(std::equal(pc.begin(), pc.begin() + 134, device.begin()));
  EXPECT_EQ(h.session.parameters.outputDelay[1], 321);
  ASSERT_EQ(h.view.reloads.size(), 1u);
  EXPECT_EQ(h.view.reloads[0], ReloadForm::Upload);
  EXPECT_EQ(h.view.repairWarnings, 0);
  EXPECT_TRUE(h.view.boxes.empty());
}

TEST(Search, TwoUnitsOnOnePortAndAWrongLengthAnswer) {
  Harness h(1);
  h.AddUnit(1);
  h.AddUnit(2);
  h.view.selectChoice = std::nullopt;
  h.engine.EnableCommunications();
  h.RunIdle();
  ASSERT_EQ(h.view.selectShown.size(), 1u);
  ASSERT_EQ(h.view.selectShown[0].size(), 2u);
  EXPECT_EQ(h.view.selectShown[0][0].index, 1);
  EXPECT_EQ(h.view.selectShown[0][1].index, 2);
  EXPECT_EQ(h.view.selectShown[0][1].id, 2);

  // Cancelling empties the list and allows a new search.
  EXPECT_EQ(h.view.LastStatus(), kStopConnect);
  EXPECT_TRUE(h.session.link.deviceList.empty());
  EXPECT_EQ(h.session.link.linkConnected, 0);
  EXPECT_TRUE(h.engine.CanEnableCommunications());

  // A unit answering with 20 characters is not listed; a short-form (19) answer is, as kind 1.
  h.port.script = [](int, const std::string& frame) {
    if (frame == "(04X)") return std::vector<Answer>{{"(04XTwenty chars..0)"}};
    if (frame == "(05X)") return std::vector<Answer>{{"(05XNineteen chars)"}};
    return std::vector<Answer>{};
  };
  h.view.selectShown.clear();
  h.engine.EnableCommunications();
  h.RunIdle();
  ASSERT_EQ(h.view.selectShown.size(), 1u);
  ASSERT_EQ(h.view.selectShown[0].size(), 1u);
  EXPECT_EQ(h.view.selectShown[0][0].id, 5);
  EXPECT_EQ(h.view.selectShown[0][0].kind, 1);
  EXPECT_EQ(h.view.selectShown[0][0].index, 1);
}

TEST(Search, NothingFoundAfterTenPasses) {
  Harness h(3);
  h.port.buses[2];  // one port that opens, with nobody behind it
  h.engine.EnableCommunications();
  EXPECT_FALSE(h.engine.CanEnableCommunications());
  h.RunIdle(120'000);
  EXPECT_EQ(h.port.sent.size(), 100u);
  EXPECT_EQ(std::count(h.view.statuses.begin(), h.view.statuses.end(), kNotFoundInPass), 10);
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].caption, kSearchCaption);
  EXPECT_EQ(h.view.boxes[0].text, kDeviceNotFoundBox);
  EXPECT_EQ(h.view.LastStatus(), kNotFound);
  EXPECT_TRUE(h.engine.CanEnableCommunications());
  EXPECT_EQ(h.session.link.searchRestart, 1);

  // No port opens at all: the same end, at once.
  Harness none(2);
  none.engine.EnableCommunications();
  EXPECT_EQ(none.view.boxes.size(), 1u);
  EXPECT_EQ(none.session.link.searching, 0);
}

TEST(Search, ChosenPortThatWillNotOpenLeavesANewSearchPossible) {
  Harness h(1);
  h.AddUnit();
  h.view.duringSelect = [&h] { h.port.buses.erase(1); };
  h.engine.EnableCommunications();
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kCannotOpen);
  EXPECT_EQ(h.session.link.linkConnected, 0);
  EXPECT_TRUE(h.engine.CanEnableCommunications());
  EXPECT_FALSE(h.engine.CanDisableCommunications());
  EXPECT_EQ(h.view.selectShown.size(), 1u) << "no pass starts by itself";

  h.view.duringSelect = nullptr;
  h.AddUnit();
  h.Connect();
  EXPECT_EQ(h.view.selectShown.size(), 2u);
  ASSERT_EQ(h.view.selectShown[1].size(), 1u) << "the old list is gone";
  EXPECT_EQ(h.session.link.linkConnected, 1);
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
}

// A fleet's port: one search pass that lists the units, then each unit reached directly by the
// connect the Select dialog would make, without another search.
TEST(Search, FoundUnitsAreReachedAgainWithoutSearchingAndOnePassCanBeEnough) {
  Harness h(1);
  h.AddUnit(2, 1, sim::ProbeKind::Long, "Front");
  auto& back = h.AddUnit(7, 1, sim::ProbeKind::Short, "Back");
  back.Current().programNumber = 5;
  back.SetProgramName("Matinee");
  h.engine.SetSearchPasses(1);
  h.view.selectChoice.reset();
  h.engine.EnableCommunications();
  h.RunIdle();
  ASSERT_EQ(h.view.selectShown.size(), 1u);
  const std::vector<FoundDevice> found = h.view.selectShown[0];
  ASSERT_EQ(found.size(), 2u);
  const std::size_t probes = h.port.Frames().size();

  // Program information only: "I000)" and nothing more; the number and name land in the PC's set.
  const ProgramParameters before = h.session.parameters;
  ASSERT_TRUE(h.engine.ConnectTo(found[1], kConnectProgramInfo));
  // A second start while it runs sends nothing and is reported as refused.
  EXPECT_FALSE(h.engine.ConnectTo(found[0], 0));
  h.RunIdle();
  const std::vector<std::string> frames = h.port.Frames();
  EXPECT_EQ(std::vector<std::string>(frames.begin() + static_cast<std::ptrdiff_t>(probes),
                                     frames.end()),
            std::vector<std::string>{"(07I000)"});
  ASSERT_GE(h.view.ended.size(), 2u);
  EXPECT_EQ(h.view.ended[h.view.ended.size() - 2].outcome, Outcome::Refused);
  EXPECT_EQ(h.view.ended.back().chain, Chain::ProgramInfo);
  EXPECT_EQ(h.view.ended.back().outcome, Outcome::Done);
  EXPECT_EQ(h.session.parameters.programNumber, 5);
  EXPECT_EQ(std::string(h.session.parameters.programName.begin(),
                        h.session.parameters.programName.end()),
            "Matinee..................");
  // Not one parameter taken: only the number and the name (the image's first 26 bytes).
  const auto was = ToImage(before);
  const auto now = ToImage(h.session.parameters);
  EXPECT_TRUE(std::equal(was.begin() + 26, was.begin() + 134, now.begin() + 26));
  EXPECT_EQ(h.session.link.deviceId, 7);
  EXPECT_EQ(h.session.link.linkConnected, 1);
  // Connected, so a second connect is refused until the goodbye.
  EXPECT_FALSE(h.engine.ConnectTo(found[0], 0));
  h.engine.DisableCommunications();
  h.RunIdle();
  EXPECT_EQ(h.session.link.linkConnected, 0);

  // The other unit, uploaded whole, with no probe in between.
  const std::size_t sentBefore = h.port.Frames().size();
  ASSERT_TRUE(h.engine.ConnectTo(found[0], 0));
  h.RunIdle();
  EXPECT_EQ(h.view.ended.back().chain, Chain::Upload);
  EXPECT_EQ(h.view.ended.back().outcome, Outcome::Done);
  EXPECT_EQ(h.port.Frames()[sentBefore], "(02I000)");
  EXPECT_EQ(h.port.Frames().size() - sentBefore, 35u);  // I000, 33 blocks, U00
  EXPECT_EQ(h.session.link.deviceId, 2);
}

TEST(Search, OnePassWithoutAUnitEndsTheSearch) {
  Harness h(1);
  h.port.buses[1];
  h.engine.SetSearchPasses(1);
  h.engine.EnableCommunications();
  h.RunIdle();
  EXPECT_EQ(h.port.Frames(), Probes());
  ASSERT_FALSE(h.view.ended.empty());
  EXPECT_EQ(h.view.ended.back().chain, Chain::Search);
  EXPECT_EQ(h.view.ended.back().outcome, Outcome::NotFound);
}

}  // namespace
}  // namespace corvella::test
