#include "model/scales.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(FrequencyScale, TextsUnitsAndValuesAcrossTheHertzKilohertzSeam) {
  EXPECT_EQ(FrequencyText(1), "20.0");
  EXPECT_EQ(FrequencyUnit(1), "Hz");
  EXPECT_EQ(FrequencyText(68), "950.0");
  EXPECT_EQ(FrequencyUnit(68), "Hz");
  EXPECT_EQ(FrequencyText(69), "1.00");
  EXPECT_EQ(FrequencyUnit(69), "kHz");
  EXPECT_EQ(FrequencyText(121), "20.0");
  EXPECT_EQ(FrequencyUnit(121), "kHz");

  EXPECT_DOUBLE_EQ(FrequencyHz(1), 20.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(2), 21.2);
  EXPECT_DOUBLE_EQ(FrequencyHz(68), 950.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(69), 1000.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(70), 1060.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(121), 20000.0);
  static_assert(FrequencyHz(109) == 10000.0);

  // The scale rises strictly, twelve steps an octave.
  for (int k = 2; k <= kLastFrequencyCode; ++k) EXPECT_LT(FrequencyHz(k - 1), FrequencyHz(k)) << k;
  EXPECT_DOUBLE_EQ(FrequencyHz(13), 2.0 * FrequencyHz(1));
}

TEST(FrequencyScale, CodesOutsideTheScaleAreHeldToItsEnds) {
  EXPECT_EQ(FrequencyText(0), "20.0");
  EXPECT_EQ(FrequencyUnit(0), "Hz");
  EXPECT_DOUBLE_EQ(FrequencyHz(-3), 20.0);
  EXPECT_EQ(FrequencyText(122), "20.0");
  EXPECT_EQ(FrequencyUnit(200), "kHz");
  EXPECT_DOUBLE_EQ(FrequencyHz(255), 20000.0);
  EXPECT_TRUE(IsHpfOff(0));
  EXPECT_TRUE(IsLpfOff(122));
  EXPECT_FALSE(IsLpfOff(121));
  EXPECT_TRUE(IsCrossoverOff({3, 0, 7, 122}));
  EXPECT_FALSE(IsCrossoverOff({3, 1, 7, 122}));
}

TEST(QScale, TextsAndLeadingNumbers) {
  EXPECT_EQ(QText(0), "0.31(3.26)");
  EXPECT_EQ(QText(46), "4.33(0.23)");
  EXPECT_EQ(QText(72), "19.4(0.052)");
  EXPECT_DOUBLE_EQ(QValue(0), 0.31);
  EXPECT_DOUBLE_EQ(QValue(46), 4.33);
  EXPECT_DOUBLE_EQ(QValue(54), 6.86);
  EXPECT_DOUBLE_EQ(QValue(72), 19.4);
  EXPECT_DOUBLE_EQ(QValue(99), 19.4);
  EXPECT_DOUBLE_EQ(QValue(-1), 0.31);
  for (int q = 1; q <= kLastQCode; ++q) EXPECT_LT(QValue(q - 1), QValue(q)) << q;
}

TEST(ArithmeticScales, GainLevelThresholdAndAuxiliaryGain) {
  EXPECT_EQ(EqGainText(0), "-12.0");
  EXPECT_EQ(EqGainText(24), "0.0");
  EXPECT_EQ(EqGainText(48), "12.0");
  EXPECT_EQ(EqGainText(25), "0.5");
  EXPECT_EQ(LevelText(0), "-90.5");
  EXPECT_EQ(LevelText(1), "-90.0");
  EXPECT_EQ(LevelText(181), "0.0");
  EXPECT_EQ(LevelText(205), "12.0");
  EXPECT_EQ(ThresholdText(62), "-18.5 dB");
  EXPECT_EQ(ThresholdText(99), "0.0 dB");
  EXPECT_EQ(ThresholdText(0), "-49.5 dB");
  EXPECT_EQ(AuxGainText(48), "0.0 dB");
  EXPECT_EQ(AuxGainText(99), "25.5 dB");
}

TEST(ArithmeticScales, DelayAsTimeAndDistance) {
  EXPECT_EQ(DelayMsText(1019), "21.2292");
  EXPECT_EQ(DelayMsText(48), "1.0000");
  EXPECT_EQ(DelayMsText(0), "0.0000");
  EXPECT_EQ(DelayMetresText(1019), "  7.2179");
  EXPECT_EQ(DelayMetresText(0), "  0.0000");
  EXPECT_EQ(DelayFeetText(48), "1.1152");
  EXPECT_EQ(DelayInchesText(48), "13.3858");
}

TEST(ArithmeticScales, RatioReachesInfinityAtTheTop) {
  EXPECT_EQ(RatioText(0), "1.00 : 1");
  EXPECT_EQ(RatioText(50), "2.02 : 1");
  EXPECT_EQ(RatioText(98), "99.00 : 1");
  EXPECT_EQ(RatioText(99), "Infinity");
  EXPECT_FALSE(Ratio(99).has_value());
  // An unrepaired code past the top must not show a negative ratio.
  EXPECT_EQ(RatioText(120), "Infinity");
}

TEST(ArithmeticScales, TimeFollowsTheE12Series) {
  EXPECT_EQ(TimeText(0), "0.010 ms");
  EXPECT_EQ(TimeText(11), "0.082 ms");
  EXPECT_EQ(TimeText(12), "0.100 ms");
  EXPECT_EQ(TimeText(24), "1.000 ms");
  EXPECT_EQ(TimeText(56), "470.000 ms");
  EXPECT_EQ(TimeText(57), "560.000 ms");
  EXPECT_EQ(TimeText(59), "820.000 ms");
  EXPECT_EQ(TimeText(72), "10000.000 ms");
  EXPECT_EQ(TimeText(74), "15000.000 ms");
  EXPECT_EQ(TimeText(200), "15000.000 ms");
}

TEST(ArithmeticScales, PhaseTexts) {
  EXPECT_EQ(PhaseText(0), "Normal");
  EXPECT_EQ(PhaseText(1), "Inverse");
}

}  // namespace
}  // namespace corvella
