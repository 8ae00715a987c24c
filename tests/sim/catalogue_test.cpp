// The unit's answers to every command of the catalogue, over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/pty_client.h"
#include "sim/virtual_unit_host.h"

namespace corvella::sim {
namespace {

using testing::PtyClient;

int Field(const std::string& answer, std::size_t pos, std::size_t len) {
  return pos + len <= answer.size() ? std::stoi(answer.substr(pos, len)) : -1;
}

class UnitOnLine : public ::testing::Test {
 protected:
  explicit UnitOnLine(std::vector<VirtualUnit> units = {}) : host_(std::move(units)) {}
  void SetUp() override {
    ASSERT_TRUE(host_.Start());
    client_ = std::make_unique<PtyClient>(host_.SlavePath());
    ASSERT_TRUE(client_->IsOpen());
  }
  std::string Ask(std::string_view frame) { return client_->Exchange(frame); }
  // The unit kept quiet when the next answer on the line is the witness's.
  void ExpectSilence(std::string_view frame) {
    EXPECT_EQ(Ask(std::string(frame) + "(01U00)"), "(01U00)") << frame;
  }

  VirtualUnitHost host_;
  std::unique_ptr<PtyClient> client_;
};

TEST_F(UnitOnLine, FreshUnitAnswersReadsWithTheStartUpValuesAtUploadPositions) {
  EXPECT_EQ(Ask("(01%021100)"), "(01%021100000069024046)");
  EXPECT_EQ(Ask("(01%051100)"), "(01%051100000057)");  // delay digits at 12..15
  EXPECT_EQ(Ask("(01%059100)"), "(01%05910000624848000099575956)");
  EXPECT_EQ(Ask("(01%0522000)"), "(01%052200000)");
  EXPECT_EQ(Field(Ask("(01%025200)"), 10, 3), 183);
  EXPECT_EQ(Field(Ask("(01%044100)"), 10, 3), 122);
}

TEST_F(UnitOnLine, EveryWriteIsAcknowledgedStoredAndReadBack) {
  struct Row {
    const char* write;
    const char* read;
    std::vector<std::pair<std::size_t, int>> fields;  // position, value (3 digits unless noted)
  };
  const Row rows[] = {
      {"$021100001069024046", "%021100", {{10, 1}, {13, 69}, {16, 24}, {19, 46}}},
      {"$021201005039048006", "%021201", {{10, 5}, {13, 39}, {16, 48}, {19, 6}}},
      {"$022101070", "%021101", {{13, 70}}},
      {"$023200030", "%021200", {{16, 30}}},
      {"$024100050", "%021100", {{19, 50}}},
      {"$0251190", "%025100", {{10, 190}}},
      {"$0411005", "%041100", {{10, 5}}},
      {"$0422044", "%042200", {{10, 44}}},
      {"$0431007", "%043100", {{10, 7}}},
      {"$0442100", "%044200", {{10, 100}}},
      {"$045205002080030040", "%045205", {{10, 2}, {13, 80}, {16, 30}, {19, 40}}},
      {"$046100090", "%045100", {{13, 90}}},
      {"$047103020", "%045103", {{16, 20}}},
      {"$048205060", "%045205", {{19, 60}}},
      {"$0492150", "%049200", {{10, 150}}},
  };
  for (const Row& row : rows) {
    const std::string code(row.write, 4);
    EXPECT_EQ(Ask("(01" + std::string(row.write) + ")"), "(01" + code + ")");
    const std::string answer = Ask("(01" + std::string(row.read) + ")");
    EXPECT_EQ(answer.substr(0, 3 + std::strlen(row.read)), "(01" + std::string(row.read));
    for (const auto& [pos, value] : row.fields) EXPECT_EQ(Field(answer, pos, 3), value) << answer;
  }
  EXPECT_EQ(Ask("(01$0512001019)"), "(01$051)");
  EXPECT_EQ(Field(Ask("(01%051200)"), 12, 4), 1019);
  EXPECT_EQ(Ask("(01$0521001)"), "(01$052)");
  EXPECT_EQ(Field(Ask("(01%0521000)"), 12, 1), 1);
  EXPECT_EQ(Ask("(01$059100404848000050101112)"), "(01$059)");
  EXPECT_EQ(Ask("(01%059100)"), "(01%05910000404848000050101112)");

  // The writes landed in the right fields of the image, not just somewhere they read back from.
  ProgramParameters expected{};
  ResetParameters(expected);
  expected.programNumber = 1;
  expected.inputPeq[0][0] = {1, 69, 24, 46};
  expected.inputPeq[1][1] = {5, 39, 48, 6};
  expected.inputPeq[1][0].frequency = 70;
  expected.inputPeq[0][1].gain = 30;
  expected.inputPeq[0][0].q = 50;
  expected.inputLevel[0] = 190;
  expected.crossover[0].hpfType = 5;
  expected.crossover[1].hpfFrequency = 44;
  expected.crossover[0].lpfType = 7;
  expected.crossover[1].lpfFrequency = 100;
  expected.outputPeq[5][1] = {2, 80, 30, 60};
  expected.outputPeq[0][0].frequency = 90;
  expected.outputPeq[3][0].gain = 20;
  expected.outputLevel[1] = 150;
  expected.outputDelay[1] = 1019;
  expected.outputPhase[0] = 1;
  expected.dynamics = {0, 40, 48, 48, 0, 0, 50, 10, 11, 12};
  EXPECT_EQ(ToImage(host_.Unit(0)->Current()), ToImage(expected));
}

TEST_F(UnitOnLine, FramesOutsideTheCatalogueGetNoAnswerAndChangeNothing) {
  const auto before = ToImage(host_.Unit(0)->Current());
  for (const char* frame :
       {"(01$02110000106902404)", "(01$0221010x0)", "(01$0253100)", "(01$021102001069024046)",
        "(01$045106001069024046)", "(01$0301100)", "(01$0251256)", "(01$0511011019)",
        "(01$059200404848000050101112)", "(01%022100)", "(01%021300)", "(01I007)", "(01R000)",
        "(01J0003short)", "(01Z11Name..........)", "(01Q)", "(01)"}) {
    ExpectSilence(frame);
  }
  EXPECT_EQ(ToImage(host_.Unit(0)->Current()), before);
  ExpectSilence("(02U00)");  // another unit's ID
}

TEST_F(UnitOnLine, LetterCommandsAnswerAsListed) {
  const std::string probe = Ask("(01X)");
  EXPECT_EQ(probe.size(), 21u);
  EXPECT_EQ(probe.substr(1, 2), "01");
  EXPECT_EQ(probe.substr(4, 14), "Virtual Unit..");
  EXPECT_EQ(Ask("(01bye)"), "(01bye)");
  EXPECT_EQ(Ask("(01M00)"), "(01M00)");
  EXPECT_EQ(Ask("(01U00)"), "(01U00)");

  std::string info = Ask("(01I000)");
  EXPECT_EQ(info.size(), 37u);
  EXPECT_EQ(Field(info, 4, 3), 1);
  EXPECT_EQ(info.substr(11, 25), "factory default..........");

  EXPECT_EQ(Ask("(01J0003Live.....................)"), "(01J0003)");
  EXPECT_EQ(Ask("(01I000)").substr(11, 25), "Live.....................");
  ExpectSilence("(01N000Stage monitor mix........)");
  EXPECT_EQ(host_.Unit(0)->ProgramName(), "Stage monitor mix........");

  // Names that came from elsewhere never break an answer apart.
  host_.WithUnit(0, [](VirtualUnit& u) {
    u.SetProgramName("Mix (live)");
    u.SetName("Desk (main)");
  });
  EXPECT_EQ(Ask("(01I000)").substr(11), "Mix .live" + std::string(16, '.') + ")");
  EXPECT_EQ(Ask("(01X)").substr(4, 14), "Desk .main....");
}

class ShortProbeUnit : public UnitOnLine {
 protected:
  ShortProbeUnit()
      : UnitOnLine({VirtualUnit(1, "Old model", ProbeKind::Short), VirtualUnit(2, "Second")}) {}
};

TEST_F(ShortProbeUnit, TwoUnitsShareOneLineAndAnswerOnlyTheirOwnId) {
  std::vector<std::string> probes;
  for (int id = 1; id <= 10; ++id) {
    client_->Write("(" + FormatDeviceId(id) + "X)(01U00)");
    for (std::string answer = client_->ReadFrame(); answer != "(01U00)";
         answer = client_->ReadFrame()) {
      ASSERT_FALSE(answer.empty());
      probes.push_back(answer);
    }
  }
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_EQ(probes[0], "(01XOld model.....)");  // 19 characters
  EXPECT_EQ(probes[1].size(), 21u);
  EXPECT_EQ(probes[1].substr(4, 14), "Second........");
  ExpectSilence("(01M00)");  // this kind never answers it
  EXPECT_EQ(Ask("(02M00)"), "(02M00)");

  EXPECT_EQ(Ask("(02$0251100)"), "(02$025)");
  EXPECT_EQ(host_.Unit(1)->Current().inputLevel[0], 100);
  EXPECT_EQ(host_.Unit(0)->Current().inputLevel[0], 181);
  // Every frame is logged, whoever it was for.
  EXPECT_TRUE(host_.WaitForFrames(24, std::chrono::seconds(3)));
  EXPECT_EQ(host_.ReceivedFrames().size(), 24u);
}

}  // namespace
}  // namespace corvella::sim
