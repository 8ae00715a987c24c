#include "model/scales.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(FrequencyScale, EndsAndTheHertzKilohertzSeam) {
  EXPECT_EQ(FrequencyText(1), "20.0");
  EXPECT_EQ(FrequencyUnit(1), "Hz");
  EXPECT_EQ(FrequencyText(68), "950.0");
  EXPECT_EQ(FrequencyUnit(68), "Hz");
  EXPECT_EQ(FrequencyText(69), "1.00");
  EXPECT_EQ(FrequencyUnit(69), "kHz");
  EXPECT_EQ(FrequencyText(121), "20.0");
  EXPECT_DOUBLE_EQ(FrequencyHz(68), 950.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(70), 1060.0);
  EXPECT_DOUBLE_EQ(FrequencyHz(121), 20000.0);
  // A typo in the table would break the strict rise of twelve steps an octave.
  for (int k = 2; k <= kLastFrequencyCode; ++k) EXPECT_LT(FrequencyHz(k - 1), FrequencyHz(k)) << k;
  EXPECT_DOUBLE_EQ(FrequencyHz(13), 2.0 * FrequencyHz(1));

  // Codes outside the scale are held to its ends.
  EXPECT_EQ(FrequencyUnit(0), "Hz");
  EXPECT_DOUBLE_EQ(FrequencyHz(-3), 20.0);
  EXPECT_EQ(FrequencyUnit(200), "kHz");
  EXPECT_DOUBLE_EQ(FrequencyHz(255), 20000.0);
}

TEST(QScale, TextsAndLeadingNumbers) {
  EXPECT_EQ(QText(0), "0.31(3.26)");
  EXPECT_EQ(QText(46), "4.33(0.23)");
  EXPECT_EQ(QText(72), "19.4(0.052)");
  EXPECT_DOUBLE_EQ(QValue(46), 4.33);
  EXPECT_DOUBLE_EQ(QValue(72), 19.4);
  EXPECT_DOUBLE_EQ(QValue(99), 19.4);
  for (int q = 1; q <= kLastQCode; ++q) EXPECT_LT(QValue(q - 1), QValue(q)) << q;
}

TEST(ArithmeticScales, DecibelTexts) {
  EXPECT_EQ(EqGainText(0), "-12.0");
  EXPECT_EQ(EqGainText(48), "12.0");
  EXPECT_EQ(LevelText(0), "-90.5");
  EXPECT_EQ(LevelText(205), "12.0");
  EXPECT_EQ(ThresholdText(62), "-18.5 dB");
  EXPECT_EQ(ThresholdText(99), "0.0 dB");
  EXPECT_EQ(AuxGainText(48), "0.0 dB");
}

TEST(ArithmeticScales, DelayAsTimeAndDistance) {
  EXPECT_EQ(DelayMsText(1019), "21.2292");
  EXPECT_EQ(DelayMsText(48), "1.0000");
  EXPECT_EQ(DelayMetresText(1019), "  7.2179");
  EXPECT_EQ(DelayFeetText(48), "1.1152");
  EXPECT_EQ(DelayInchesText(48), "13.3858");
}

TEST(ArithmeticScales, RatioAndTime) {
  EXPECT_EQ(RatioText(0), "1.00 : 1");
  EXPECT_EQ(RatioText(50), "2.02 : 1");
  EXPECT_EQ(RatioText(98), "99.00 : 1");
  EXPECT_EQ(RatioText(99), "Infinity");
  EXPECT_EQ(RatioText(120), "Infinity");  // never a negative ratio

  EXPECT_EQ(TimeText(0), "0.010 ms");
  EXPECT_EQ(TimeText(11), "0.082 ms");
  EXPECT_EQ(TimeText(12), "0.100 ms");
  EXPECT_EQ(TimeText(57), "560.000 ms");
  EXPECT_EQ(TimeText(74), "15000.000 ms");
  EXPECT_EQ(TimeText(200), "15000.000 ms");
}

}  // namespace
}  // namespace corvella
