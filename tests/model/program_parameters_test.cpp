#include "model/program_parameters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/scales.h"

namespace corvella {
namespace {

ProgramParameters ResetSet() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

bool SameBytes(const ProgramParameters& a, const ProgramParameters& b) {
  return ToImage(a) == ToImage(b);
}

TEST(ResetParameters, StartUpValuesStandForTheNominalSettings) {
  const ProgramParameters p = ResetSet();
  EXPECT_EQ(ProgramNameText(p), "factory default..........");
  EXPECT_EQ(LevelText(p.inputLevel[0]), "0.0");
  EXPECT_EQ(LevelText(p.inputLevel[1]), "1.0");
  EXPECT_EQ(p.crossover[0].lpfFrequency, kLpfOff);
  EXPECT_EQ(p.crossover[1].lpfFrequency, 33);
  EXPECT_EQ(p.outputPeq[2][0].type, 3);
  EXPECT_EQ(p.outputPeq[5][1].frequency, 69);
  EXPECT_EQ(p.outputDelay[0], 57);
  EXPECT_EQ(p.dynamics.ratio, 99);
  EXPECT_EQ(p.dynamics.attackTime, 56);
  // The start-up set is itself valid.
  ProgramParameters repaired = p;
  EXPECT_FALSE(RepairParameters(repaired));
  EXPECT_TRUE(SameBytes(repaired, p));
}

TEST(ResetParameters, CopiesOnlyTheViewTextAndLeavesTheTailAlone) {
  ProgramParameters p{};
  std::memset(&p, 0xAB, sizeof p);
  ResetParameters(p, "Live");
  EXPECT_EQ(std::string(p.programName.data(), 6), std::string("Live") + "\xAB\xAB");
  EXPECT_EQ(p.gap[0], 0xAB);
  EXPECT_EQ(p.tail[33], 0xAB);
  EXPECT_EQ(p.reservedBlock[9], 0);

  ResetParameters(p, "a name that is much longer than twenty-five");
  EXPECT_EQ(ProgramNameText(p), "a name that is much longe");
  EXPECT_EQ(p.inputPeq[0][0].type, 0);  // the next field is not overwritten by the name
}

TEST(RepairParameters, ReplacesEachBadCodeAndReportsOnceForMany) {
  ProgramParameters p = ResetSet();
  p.inputLevel[1] = 250;
  p.outputDelay[1] = 5000;
  p.dynamics.releaseTime = 80;
  p.dynamics.attackTime = 80;
  p.dynamics.auxTime = 80;
  p.dynamics.auxGain2 = 100;
  p.outputPeq[5][1] = {6, 122, 49, 73};
  p.crossover[1].lpfType = 12;
  p.outputPhase[0] = 2;

  EXPECT_TRUE(RepairParameters(p));
  EXPECT_EQ(p.inputLevel[0], 181);
  EXPECT_EQ(p.inputLevel[1], 205);
  EXPECT_EQ(p.outputDelay[0], 57);
  EXPECT_EQ(p.outputDelay[1], 0);
  EXPECT_EQ(p.dynamics.releaseTime, 0);
  EXPECT_EQ(p.dynamics.attackTime, 74);
  EXPECT_EQ(p.dynamics.auxTime, 74);
  EXPECT_EQ(p.dynamics.auxGain2, 48);
  EXPECT_EQ(p.outputPeq[5][1].type, 0);
  EXPECT_EQ(p.outputPeq[5][1].frequency, 1);
  EXPECT_EQ(p.outputPeq[5][1].gain, 0);
  EXPECT_EQ(p.outputPeq[5][1].q, 0);
  EXPECT_EQ(p.crossover[1].lpfType, 0);
  EXPECT_EQ(p.outputPhase[0], 0);
  // A second pass finds nothing left to do.
  EXPECT_FALSE(RepairParameters(p));
}

TEST(RepairParameters, LeavesBoundaryCodesAndUncheckedFieldsAlone) {
  ProgramParameters p = ResetSet();
  p.inputPeq[1][0] = {5, 0, 48, 72};  // a frequency code of 0 passes
  p.outputLevel[0] = 205;
  p.outputDelay[0] = 1019;
  p.dynamics.threshold = 99;
  p.dynamics.releaseTime = 74;
  p.crossover[0] = {11, 121, 11, 1};
  p.crossover[1] = {0, kHpfOff, 0, kLpfOff};
  p.programNumber = 255;
  p.reservedBlock[3] = 200;
  p.tail[0] = 255;
  const ProgramParameters before = p;
  EXPECT_FALSE(RepairParameters(p));
  EXPECT_TRUE(SameBytes(p, before));
}

TEST(RepairParameters, TurnsCutOffCodesOutsideTheScaleOff) {
  ProgramParameters p = ResetSet();
  p.crossover[0].hpfFrequency = 122;
  p.crossover[0].lpfFrequency = 0;
  p.crossover[1].hpfFrequency = 255;
  p.crossover[1].lpfFrequency = 123;
  EXPECT_TRUE(RepairParameters(p));
  EXPECT_EQ(p.crossover[0].hpfFrequency, kHpfOff);
  EXPECT_EQ(p.crossover[0].lpfFrequency, kLpfOff);
  EXPECT_EQ(p.crossover[1].hpfFrequency, kHpfOff);
  EXPECT_EQ(p.crossover[1].lpfFrequency, kLpfOff);
}

TEST(RepairParameters, NegativeDelayIsOutOfRange) {
  ProgramParameters p = ResetSet();
  p.outputDelay[0] = -1;
  EXPECT_TRUE(RepairParameters(p));
  EXPECT_EQ(p.outputDelay[0], 0);
}

TEST(ParameterImage, FieldsSitAtTheirOffsetsLittleEndian) {
  ProgramParameters p = ResetSet();
  p.programNumber = 4;
  p.outputDelay[0] = 0x01020304;
  p.outputDelay[1] = 1019;
  p.outputPhase[1] = 1;
  const auto image = ToImage(p);
  EXPECT_EQ(image[0], 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[1]), 25), kFactoryDefaultName);
  EXPECT_EQ(image[26], p.inputPeq[0][0].type);
  EXPECT_EQ(image[27], 69);    // inputPeq[0][MIC].frequency
  EXPECT_EQ(image[30], 0);     // inputPeq[0][LINE].type
  EXPECT_EQ(image[42], 181);   // inputLevel MIC
  EXPECT_EQ(image[47], 122);   // crossover HIGH lpfFrequency
  EXPECT_EQ(image[49], 9);     // crossover LOW hpfFrequency
  EXPECT_EQ(image[52], 1);     // outputPeq[0][HIGH].type
  EXPECT_EQ(image[101], 185);  // outputLevel LOW
  EXPECT_EQ(image[108], 99);   // dynamics.ratio
  EXPECT_EQ(image[124], 0x04);
  EXPECT_EQ(image[127], 0x01);
  EXPECT_EQ(image[128], 1019 & 0xFF);
  EXPECT_EQ(image[129], 1019 >> 8);
  EXPECT_EQ(image[133], 1);

  const ProgramParameters back = FromImage(image);
  EXPECT_EQ(back.outputDelay[0], 0x01020304);
  EXPECT_EQ(back.outputDelay[1], 1019);
  EXPECT_EQ(ToImage(back), image);
}

}  // namespace
}  // namespace corvella
