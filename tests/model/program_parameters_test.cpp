#include "model/program_parameters.h"

#include <gtest/gtest.h>

#include <cstring>

#include "model/scales.h"

namespace corvella {
namespace {

ProgramParameters ResetSet() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

TEST(ResetParameters, StartUpSetIsValidAndNamedAfterTheView) {
  ProgramParameters p = ResetSet();
  EXPECT_EQ(ProgramNameText(p), "factory default..........");
  EXPECT_EQ(LevelText(p.inputLevel[0]), "0.0");
  EXPECT_EQ(LevelText(p.inputLevel[1]), "1.0");
  EXPECT_FALSE(RepairParameters(p));

  // Only as many characters as the view's text has; the gap and the tail stay untouched.
  std::memset(&p, 0xAB, sizeof p);
  ResetParameters(p, "Live");
  EXPECT_EQ(ProgramNameText(p).substr(0, 6), "Live\xAB\xAB");
  EXPECT_EQ(p.gap[0], 0xAB);
  EXPECT_EQ(p.tail[33], 0xAB);
  ResetParameters(p, "a name that is much longer than twenty-five");
  EXPECT_EQ(ProgramNameText(p), "a name that is much longe");
  EXPECT_EQ(p.inputPeq[0][0].type, 0);
}

TEST(RepairParameters, ReplacesEachBadCodeAndReportsOnceForMany) {
  ProgramParameters p = ResetSet();
  p.inputLevel[1] = 250;
  p.outputDelay[1] = 5000;
  p.dynamics.releaseTime = 80;
  p.dynamics.attackTime = 80;
  p.dynamics.auxTime = 80;
  p.outputPeq[5][1] = {6, 122, 49, 73};
  p.outputPhase[0] = 2;

  EXPECT_TRUE(RepairParameters(p));
  EXPECT_EQ(p.inputLevel[0], 181);
  EXPECT_EQ(p.inputLevel[1], 205);
  EXPECT_EQ(p.outputDelay[0], 57);
  EXPECT_EQ(p.outputDelay[1], 0);
  EXPECT_EQ(p.dynamics.releaseTime, 0);
  EXPECT_EQ(p.dynamics.attackTime, 74);
  EXPECT_EQ(p.dynamics.auxTime, 74);
  const PeqBand band = p.outputPeq[5][1];
  EXPECT_EQ((std::array{band.type, band.frequency, band.gain, band.q}),
            (std::array<std::uint8_t, 4>{0, 1, 0, 0}));
  EXPECT_EQ(p.outputPhase[0], 0);
  EXPECT_FALSE(RepairParameters(p));
}

TEST(RepairParameters, LeavesBoundaryCodesAndUncheckedFieldsAlone) {
  ProgramParameters p = ResetSet();
  p.inputPeq[1][0] = {5, 0, 48, 72};  // a frequency code of 0 passes
  p.outputLevel[0] = 205;
  p.outputDelay[0] = 1019;
  p.dynamics.releaseTime = 74;
  p.crossover[0] = {11, 121, 11, 1};
  p.programNumber = 255;
  p.reservedBlock[3] = 200;
  const auto before = ToImage(p);
  EXPECT_FALSE(RepairParameters(p));
  EXPECT_EQ(ToImage(p), before);
}

TEST(RepairParameters, CutOffCodesOutsideTheScaleAndNegativeDelaysAreMended) {
  ProgramParameters p = ResetSet();
  p.crossover[0].hpfFrequency = 122;
  p.crossover[0].lpfFrequency = 0;
  p.crossover[1].hpfFrequency = 255;
  p.crossover[1].lpfFrequency = 123;
  p.outputDelay[0] = -1;
  EXPECT_TRUE(RepairParameters(p));
  for (const CrossoverSettings& x : p.crossover) {
    EXPECT_EQ(x.hpfFrequency, kHpfOff);
    EXPECT_EQ(x.lpfFrequency, kLpfOff);
  }
  EXPECT_EQ(p.outputDelay[0], 0);
}

}  // namespace
}  // namespace corvella
