// The remote-control address tree: the addresses a desk uses, the values it may send, and that a
// value is snapped exactly as a page snaps the same value typed.
#include "remote/address_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::remote {
namespace {

ProgramParameters StartUp() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

TEST(AddressTree, NamedAddressesReachTheirSetting) {
  struct Row {
    const char* address;
    Field field;
    int channel;
    int band;
  };
  const Row rows[] = {
      {"/corvella/1/input/mic/level", Field::InputLevel, 0, 0},
      {"/corvella/1/input/line/eq/2/q", Field::InputPeqQ, 1, 1},
      {"/corvella/10/output/low/eq/6/gain", Field::OutputPeqGain, 1, 5},
      {"/corvella/1/output/high/eq/1/type", Field::OutputPeqType, 0, 0},
      {"/corvella/1/output/high/eq/3/freq", Field::OutputPeqFrequency, 0, 2},
      {"/corvella/1/output/low/level", Field::OutputLevel, 1, 0},
      {"/corvella/1/output/high/delay", Field::Delay, 0, 0},
      {"/corvella/1/output/low/polarity", Field::Phase, 1, 0},
      {"/corvella/1/output/high/hpf/type", Field::HpfType, 0, 0},
      {"/corvella/1/output/low/lpf/freq", Field::LpfFrequency, 1, 0},
      {"/corvella/1/compressor/ratio", Field::Ratio, 0, 0},
      {"/corvella/1/compressor/attack", Field::Attack, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    const auto a = ParseAddress(row.address);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->node.kind, NodeKind::Parameter);
    EXPECT_EQ(a->node.ref, (ParameterRef{row.field, row.channel, row.band}));
  }
  EXPECT_EQ(ParseAddress("/corvella/pts3-1/program/recall")->node.kind, NodeKind::Recall);
  EXPECT_EQ(ParseAddress("/corvella/pts3-1/program/recall")->unit, "pts3-1");
  EXPECT_EQ(ParseAddress("/corvella/2/program/name")->node.kind, NodeKind::ProgramName);
  EXPECT_EQ(ParseAddress("/corvella/2/link")->node.kind, NodeKind::Link);
}

TEST(AddressTree, EveryNodeHasOneAddressThatReadsBack) {
  // Inputs: level and 2 bands of 4; outputs: 7 settings and 6 bands of 4; the compressor's 4;
  // the program's 4, the link and the device name.
  EXPECT_EQ(AllNodes().size(), 2u * (1 + 2 * 4) + 2u * (7 + 6 * 4) + 4 + 6);
  std::set<std::string> seen;
  for (const Node& node : AllNodes()) {
    const std::string address = AddressOf("7", node);
    EXPECT_TRUE(seen.insert(address).second) << address;
    const auto back = ParseAddress(address);
    ASSERT_TRUE(back) << address;
    EXPECT_EQ(back->node, node) << address;
    EXPECT_EQ(back->unit, "7");
  }
}

TEST(AddressTree, MisspelledOrOutOfTreeAddressesNameNothing) {
  for (const char* address :
       {"/corvella/1/output/high/eq/7/freq", "/corvella/1/input/mic/eq/3/q",
        "/corvella/1/output/high/eq/0/freq", "/corvella/1/output/high/eq/01/freq",
        "/corvella//output/high/level", "/corvella/1/output/high/level/",
        "/corvellax/1/output/high/level", "/corvella/1/output/mid/level",
        "/corvella/a b/output/high/level", "/corvella/1/input/mic/delay", "/corvella/1/output/high",
        "/corvella/1", "/corvella", "", "/corvella/1/compressor", "/corvella/1/compressor/ratio/x",
        "/corvella/1/output/high/hpf/q"}) {
    EXPECT_FALSE(ParseAddress(address)) << address;
  }
}

// The value a page shows for a code, sent back, selects that code: a desk that echoes what it got
// never drifts the unit, and the text form (MQTT) does the same.
// The codes a page can give each setting.
std::pair<int, int> PageCodes(Field f) {
  switch (f) {
    case Field::InputLevel:
    case Field::OutputLevel:
      return {1, 205};
    case Field::InputPeqFrequency:
    case Field::OutputPeqFrequency:
      return {1, 121};
    case Field::HpfFrequency:
      return {0, 121};
    case Field::LpfFrequency:
      return {1, 122};
    case Field::InputPeqGain:
    case Field::OutputPeqGain:
      return {0, 48};
    case Field::InputPeqQ:
    case Field::OutputPeqQ:
      return {0, 72};
    case Field::InputPeqType:
    case Field::OutputPeqType:
      return {0, 5};
    case Field::HpfType:
    case Field::LpfType:
      return {0, 11};
    case Field::Phase:
      return {0, 1};
    case Field::Delay:
      return {0, kMaxDelaySteps};
    case Field::Threshold:
    case Field::Ratio:
      return {0, 99};
    default:
      return {0, kLastTimeCode};
  }
}

TEST(AddressTree, EveryShownValueSnapsBackToItsCode) {
  const ProgramParameters p = StartUp();
  for (const Node& node : AllNodes()) {
    if (node.kind != NodeKind::Parameter) continue;
    const auto [first, last] = PageCodes(node.ref.field);
    for (int code = first; code <= last; ++code) {
      ProgramParameters q = p;
      Checked direct;
      direct.ok = true;
      direct.code = code;
      ASSERT_TRUE(Store(q, node, direct));
      const Value shown = *ValueIn(q, node);
      const Checked again = Check(node, shown);
      SCOPED_TRACE(NodePath(node) + " code " + std::to_string(code));
      EXPECT_EQ(again.code, code);
      const Checked fromText = Check(node, *ParseValueText(KindOf(node), ValueText(shown)));
      EXPECT_EQ(fromText.code, code);
      // A 32-bit float, as OSC carries it, selects the same code too.
      if (const double* d = std::get_if<double>(&shown)) {
        EXPECT_EQ(Check(node, static_cast<double>(static_cast<float>(*d))).code, code);
      }
    }
  }
}

TEST(AddressTree, NumbersSnapAsThePagesSnapTypedValues) {
  struct Row {
    const char* address;
    double value;
    int pageCode;  // the code the page's edit gives for the same number typed
  };
  const Row rows[] = {
      {"/corvella/1/output/high/level", -6.3, ParseLevelText("-6.3").code},
      {"/corvella/1/output/high/level", -6.25, ParseLevelText("-6.25").code},
      {"/corvella/1/input/mic/level", -90.0, ParseLevelText("-90").code},
      {"/corvella/1/output/low/eq/2/freq", 1030.0, ParseFrequencyText("1030").code},
      {"/corvella/1/output/low/eq/2/freq", 20000.0, ParseFrequencyText("20000").code},
      {"/corvella/1/output/low/eq/2/gain", -3.25, ParseEqGainText("-3.25").code},
      {"/corvella/1/output/low/eq/2/q", 4.4, ParseQText("4.4").code},
      {"/corvella/1/output/high/hpf/freq", 0.0, kHpfOff},
      {"/corvella/1/output/high/lpf/freq", 0.0, kLpfOff},
      {"/corvella/1/output/high/lpf/freq", 2500.0, ParseLpfFrequencyText("2500").code},
      {"/corvella/1/output/high/delay", 1.0, ParseDelayText("1", DelayUnit::Milliseconds).code},
      {"/corvella/1/output/high/delay", 21.2292,
       ParseDelayText("21.2292", DelayUnit::Milliseconds).code},
      {"/corvella/1/compressor/threshold", -12.2, ParseThresholdText("-12.2").code},
      {"/corvella/1/compressor/ratio", 4.0, ParseRatioText("4").code},
      {"/corvella/1/compressor/ratio", std::numeric_limits<double>::infinity(), 99},
      {"/corvella/1/compressor/release", 0.09, ParseTimeText("0.09").code},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.address) + " " + std::to_string(row.value));
    const Checked c = Check(ParseAddress(row.address)->node, row.value);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.code, row.pageCode);
  }
  // The echoed value is the snapped one, in the node's units.
  EXPECT_EQ(
      std::get<double>(Check(ParseAddress("/corvella/1/output/high/level")->node, -6.3).value),
      -6.5);
  EXPECT_EQ(
      std::get<double>(Check(ParseAddress("/corvella/1/output/low/eq/2/freq")->node, 1020.0).value),
      1000.0);
}

TEST(AddressTree, WrongTypesAndValuesOutsideTheRangeAreRefused) {
  struct Row {
    const char* address;
    Value value;
    std::string_view error;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Row rows[] = {
      {"/corvella/1/output/high/level", std::string("loud"), kWrongType},
      {"/corvella/1/output/high/level", 12.5, kOutOfRange},
      {"/corvella/1/output/high/level", -90.5, kOutOfRange},
      {"/corvella/1/output/high/level", std::nan(""), kOutOfRange},
      {"/corvella/1/output/high/eq/1/freq", 19.0, kOutOfRange},
      {"/corvella/1/output/high/eq/1/freq", 0.0, kOutOfRange},
      {"/corvella/1/output/high/hpf/freq", 20001.0, kOutOfRange},
      {"/corvella/1/output/high/eq/1/gain", inf, kOutOfRange},
      {"/corvella/1/output/high/eq/1/q", 20.0, kOutOfRange},
      {"/corvella/1/output/high/eq/1/type", 6, kOutOfRange},
      {"/corvella/1/output/high/eq/1/type", 2.5, kWrongType},
      {"/corvella/1/output/high/hpf/type", 12, kOutOfRange},
      {"/corvella/1/output/high/polarity", 2, kOutOfRange},
      {"/corvella/1/output/high/delay", 21.3, kOutOfRange},
      {"/corvella/1/output/high/delay", -0.1, kOutOfRange},
      {"/corvella/1/compressor/ratio", 0.5, kOutOfRange},
      {"/corvella/1/compressor/threshold", 0.5, kOutOfRange},
      {"/corvella/1/compressor/attack", 15001.0, kOutOfRange},
      {"/corvella/1/program/recall", 7, kOutOfRange},
      {"/corvella/1/program/recall", 0, kOutOfRange},
      {"/corvella/1/program/store", std::string("1"), kWrongType},
      {"/corvella/1/program/name", 3, kWrongType},
      {"/corvella/1/program/name", std::string("Twenty-six characters long"), kOutOfRange},
      {"/corvella/1/program/name", std::string("Live (2)"), kOutOfRange},
      {"/corvella/1/program/number", 2, kReadOnly},
      {"/corvella/1/link", std::string("online"), kReadOnly},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    const Checked c = Check(ParseAddress(row.address)->node, row.value);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, row.error);
  }
  // Whole floats are integers to a desk that sends nothing else.
  EXPECT_EQ(Check(ParseAddress("/corvella/1/output/low/polarity")->node, 1.0).code, 1);
  EXPECT_EQ(Check(ParseAddress("/corvella/1/program/recall")->node, 6).code, 6);
}

TEST(AddressTree, ProgramNameIsPaddedAsTheRenameDialogPadsIt) {
  ProgramParameters p = StartUp();
  const Node name{NodeKind::ProgramName, {}};
  const Checked c = Check(name, std::string("Live"));
  ASSERT_TRUE(c.ok);
  ASSERT_TRUE(Store(p, name, c));
  EXPECT_EQ(ProgramNameText(p), "Live.....................");
  EXPECT_EQ(std::get<std::string>(*ValueIn(p, name)), "Live");
  EXPECT_EQ(std::get<std::string>(c.value), "Live");
}

TEST(AddressTree, TextValuesReadInTheirKind) {
  EXPECT_EQ(ParseValueText(ValueKind::Number, " -6.5\n"), Value(-6.5));
  EXPECT_EQ(ParseValueText(ValueKind::Number, "Infinity"),
            Value(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(ParseValueText(ValueKind::Int, "3"), Value(3));
  EXPECT_EQ(ParseValueText(ValueKind::Int, "3.0"), Value(3));
  for (const char* bad : {"", "3x", "x", "1e", "--1"}) {
    EXPECT_FALSE(ParseValueText(ValueKind::Number, bad)) << bad;
  }
  EXPECT_FALSE(ParseValueText(ValueKind::Int, "2.5"));
  EXPECT_EQ(ValueText(Value(-6.0)), "-6");
  EXPECT_EQ(ValueText(Value(DelayMs(1019))), "21.2292");
  EXPECT_EQ(ValueText(Value(std::numeric_limits<double>::infinity())), "inf");
}

}  // namespace
}  // namespace corvella::remote
