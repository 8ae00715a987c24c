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
  // 5 compressor fields the frame carries, 2 input levels, 2 x (level + phase).
  EXPECT_EQ(rows.size(), 2u + 16u + 8u + 48u + 2u + 5u + 2u + 4u);
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
}

ProgramParameters Named(std::string_view name) {
  ProgramParameters p = StartUp();
  p.programName.fill('\0');
  SetProgramName(p, name);
  return p;
}

// Two sets differ exactly where a unit would hold them differently after a download.
TEST(ParameterListing, DifferencesAreThoseAUnitWouldHold) {
  using Change = void (*)(ProgramParameters&);
  struct Case {
    const char* what;
    Change change;
    std::size_t differences;
  };
  const Case cases[] = {
      {"aux time: the compressor frame sends it", [](auto& p) { p.dynamics.auxTime = 11; }, 1},
      {"aux gains and ratios: the frame sends fixed text",
       [](auto& p) { p.dynamics.auxGain1 = 3, p.dynamics.auxRatio2 = 9; }, 0},
      {"aux threshold: never sent", [](auto& p) { p.dynamics.auxThreshold = 7; }, 0},
      {"reserved bytes", [](auto& p) { p.reservedBlock[2] = 1, p.tail[0] = 9; }, 0},
      {"a name character the line cannot carry", [](auto& p) { p.programName[20] = '\x01'; }, 0},
      {"a name character it can", [](auto& p) { p.programName[3] = 'x'; }, 1},
  };
  for (const Case& c : cases) {
    ProgramParameters b = StartUp();
    c.change(b);
    const auto d = DiffParameters(StartUp(), b);
    EXPECT_EQ(d.size(), c.differences) << c.what;
  }
  const auto aux = DiffParameters(StartUp(), [] {
    ProgramParameters p = StartUp();
    p.dynamics.auxTime = 11;
    return p;
  }());
  ASSERT_EQ(aux.size(), 1u);
  EXPECT_EQ(aux[0].b.ref.field, Field::AuxTime);
  EXPECT_EQ(DifferenceLine(aux[0]).rfind("Compressor/Limiter aux time: ", 0), 0u);

  // A name holding "(" or a NUL padding equals its line spelling, which the unit reads back.
  EXPECT_TRUE(DiffParameters(Named("Mix (live)"), Named("Mix .live................")).empty());
  EXPECT_TRUE(DiffParameters(Named("Mix"), Named("Mix......................")).empty());
  EXPECT_EQ(DiffParameters(Named("Mix (live)"), Named("Mix  live.")).size(), 1u);
}

TEST(ParameterListing, TheNameRowSaysHowTheLineSendsItWhenThatDiffers) {
  EXPECT_EQ(ListParameters(Named("Mix (live)"))[1].sentAs, "Mix .live................");
  EXPECT_EQ(ListParameters(Named("Mix"))[1].sentAs, "Mix......................");
  EXPECT_EQ(ListParameters(StartUp())[1].sentAs, "");
}

}  // namespace
}  // namespace corvella
