// Program memories, identity changes and the demo unit, over a real pseudo-terminal.
#include <gtest/gtest.h>

#include "sim/demo_unit.h"
#include "sim/pty_client.h"
#include "sim/virtual_unit_host.h"

namespace corvella::sim {
namespace {

using testing::PtyClient;

struct Line {
  explicit Line(std::unique_ptr<VirtualUnitHost> h) : host(std::move(h)) {
    client = std::make_unique<PtyClient>(host->SlavePath());
  }
  std::string Ask(std::string_view frame) { return client->Exchange(frame); }
  std::unique_ptr<VirtualUnitHost> host;
  std::unique_ptr<PtyClient> client;
};

std::unique_ptr<VirtualUnitHost> Started(std::vector<VirtualUnit> units = {}) {
  auto host = std::make_unique<VirtualUnitHost>(std::move(units));
  return host->Start() ? std::move(host) : nullptr;
}

TEST(ProgramMemories, StoreListRecallAndRenameSurviveOtherEdits) {
  auto host = Started();
  ASSERT_TRUE(host);
  Line line(std::move(host));
  // Nothing stored yet: memory 2 does not answer (the witness answers first).
  EXPECT_EQ(line.Ask("(01I002)(01U00)"), "(01U00)");

  EXPECT_EQ(line.Ask("(01J0003Ballad...................)"), "(01J0003)");
  EXPECT_EQ(line.Ask("(01$0491100)"), "(01$049)");
  EXPECT_EQ(line.Ask("(01S002)"), "(01S002)");
  const std::string listed = line.Ask("(01I002)");
  EXPECT_EQ(listed.substr(4, 3), "002");
  EXPECT_EQ(listed.substr(11, 25), "Ballad...................");

  // Edit the current program further, then recall: the stored values come back.
  EXPECT_EQ(line.Ask("(01$0491200)"), "(01$049)");
  EXPECT_EQ(line.Ask("(01J0003Changed..................)"), "(01J0003)");
  EXPECT_EQ(line.Ask("(01R002)"), "(01R002)");
  EXPECT_EQ(line.Ask("(01%049100)"), "(01%049100100)");
  const std::string info = line.Ask("(01I000)");
  EXPECT_EQ(info.substr(4, 3), "002");
  EXPECT_EQ(info.substr(11, 25), "Ballad...................");

  // "S000" stores into the memory of the current program (2 after the recall).
  EXPECT_EQ(line.Ask("(01$0491050)"), "(01$049)");
  EXPECT_EQ(line.Ask("(01S000)"), "(01S000)");
  const auto unit = line.host->Unit(0);
  ASSERT_TRUE(unit->Memory(2));
  EXPECT_EQ(unit->Memory(2)->outputLevel[0], 50);
  EXPECT_FALSE(unit->Memory(1));
  // Recalling an unused memory, or storing a program that came from no memory, is refused
  // silently and changes nothing.
  EXPECT_EQ(line.Ask("(01R005)(01U00)"), "(01U00)");
  EXPECT_EQ(line.host->Unit(0)->Current().programNumber, 2);
  line.host->WithUnit(0, [](VirtualUnit& u) { u.Current().programNumber = 0; });
  EXPECT_EQ(line.Ask("(01S000)(01U00)"), "(01U00)");
}

TEST(DeviceIdentity, NewIdAndNameTakeEffectAtOnce) {
  auto host = Started({VirtualUnit(1), VirtualUnit(9, "Witness")});
  ASSERT_TRUE(host);
  Line line(std::move(host));
  EXPECT_EQ(line.Ask("(01Z04Stage left....)"), "(04Z)");
  EXPECT_EQ(line.Ask("(01X)(09U00)"), "(09U00)");  // the old ID is gone
  EXPECT_EQ(line.Ask("(04X)").substr(4, 14), "Stage left....");
  EXPECT_EQ(line.Ask("(04YFront fill....)"), "(04Y)");
  EXPECT_EQ(line.Ask("(04X)").substr(4, 14), "Front fill....");
  EXPECT_EQ(line.host->Unit(0)->Id(), 4);
  EXPECT_EQ(line.host->Unit(0)->Name(), "Front fill....");
  EXPECT_EQ(line.Ask("(04Z10Ten...........)"), "(10Z)");
  EXPECT_EQ(line.Ask("(10X)").substr(1, 2), "10");
}

TEST(DemoUnit, StartsOnItsOwnLineWithAProgramAndFourNamedMemories) {
  std::string error;
  auto host = StartDemoUnit(&error);
  ASSERT_TRUE(host) << error;
  EXPECT_EQ(host->SlavePath().rfind("/dev/", 0), 0u);
  Line line(std::move(host));
  EXPECT_EQ(line.Ask("(01X)").substr(4, 14), kDemoUnitName);
  EXPECT_EQ(line.Ask("(01I000)").substr(4, 32), "0010000Demo Program.............");
  std::vector<std::string> names;
  for (int n = 1; n <= 4; ++n) {
    names.push_back(line.Ask("(01I00" + std::to_string(n) + ")").substr(11, 25));
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"Demo Program.............", "Speech...................",
                                      "Music....................", "Live Band................"}));
  EXPECT_EQ(line.Ask("(01I005)(01U00)"), "(01U00)");
  // Every memory holds values the program's repair would accept unchanged.
  for (int n = 1; n <= 4; ++n) {
    ProgramParameters memory = *line.host->Unit(0)->Memory(n);
    EXPECT_FALSE(RepairParameters(memory)) << n;
  }
}

}  // namespace
}  // namespace corvella::sim
