// The parameter rows every front end lists and compares by, and the differences between sets.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/parameter_listing.h"

namespace corvella {
namespace {

ProgramParameters StartUp() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

TEST(ParameterListing, EveryParameterHasOneRowWithAUniqueName) {
  const auto rows = ListParameters(StartUp());
  // number + name, 2 x 2 input bands x 4, 2 x 4 crossover, 2 x 6 x 4 output bands, 2 delays,
  // 4 compressor fields, 2 input levels, 2 x (level + phase).
  EXPECT_EQ(rows.size(), 2u + 16u + 8u + 48u + 2u + 4u + 2u + 4u);
  std::set<std::string> names;
  for (const auto& r : rows) EXPECT_TRUE(names.insert(r.section + " " + r.parameter).second);
  EXPECT_EQ(rows[0].ref.field, Field::ProgramNumber);
  EXPECT_TRUE(rows[1].isText);
}

TEST(ParameterListing, DifferencesNameSectionParameterAndBothCodesWithTheirTexts) {
  const ProgramParameters a = StartUp();
  EXPECT_TRUE(DiffParameters(a, a).empty());

  ProgramParameters b = a;
  b.programNumber = 5;  // which memory, not what the program is
  EXPECT_TRUE(DiffParameters(a, b).empty());

  ProgramParameters x = a;
  x.crossover[1].hpfFrequency = 9;
  ProgramParameters y = a;
  y.crossover[1].hpfFrequency = 12;
  y.outputPeq[2][0].gain = 30;
  y.dynamics.ratio = 4;
  const auto d = DiffParameters(x, y);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(DifferenceLine(d[0]), "Crossover LOW hpf frequency: 9 31.5Hz -> 12 37.5Hz");
  EXPECT_EQ(d[1].a.section, "Output PEQ HIGH");
  EXPECT_EQ(d[1].a.parameter, "band 3 gain");
  EXPECT_EQ((d[1].a.ref), (ParameterRef{Field::OutputPeqGain, 0, 2}));
  EXPECT_EQ(d[1].b.code, 30);
  EXPECT_EQ(d[2].a.ref.field, Field::Ratio);

  // Names are compared as stored, so two that print alike still differ.
  ProgramParameters n = a;
  n.programName[3] = '\x01';
  ProgramParameters m = a;
  m.programName[3] = '\x02';
  const auto names = DiffParameters(n, m);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].a.ref.field, Field::ProgramName);
  EXPECT_EQ(DifferenceLine(names[0]).find(": "), std::string("Program name").size());
}

}  // namespace
}  // namespace corvella
