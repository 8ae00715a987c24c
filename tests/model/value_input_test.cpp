// Edit texts as an operator types them, and the codes and texts the edits end with.
#include "model/value_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "model/scales.h"

namespace corvella {
namespace {

void ExpectEdit(const ParsedEdit& edit, int code, const std::string& text) {
  EXPECT_EQ(edit.code, code);
  EXPECT_EQ(edit.text, text);
}

TEST(ReadLeadingNumber, ReadsAsFarAsTheTextFormsADecimalNumber) {
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("  -3.25dB").value, -3.25);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("+.5").value, 0.5);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("1.2.3").value, 1.2);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("2e3x").value, 2000.0);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("2e").value, 2.0);  // an exponent needs a digit
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("0x1F").value, 0.0);
  EXPECT_TRUE(std::isinf(ReadLeadingNumber("1e999").value));
  EXPECT_EQ(ReadLeadingNumber("1e-999").value, 0.0);

  for (const char* text : {"", "abc", "-", ".", " . 5", "inf", "nan", "(1)"}) {
    const LeadingNumber n = ReadLeadingNumber(text);
    EXPECT_FALSE(n.found) << text;
    EXPECT_EQ(n.value, 0.0) << text;
  }
}

TEST(FrequencyText, KilohertzSuffixesTiesEndsAndGarbage) {
  for (const char* text : {"1k", "1K", "1khz", "1 KHz", "1000", "1kz", "1.02k", "990"}) {
    ExpectEdit(ParseFrequencyText(text), 69, "1.00kHz");
  }
  ExpectEdit(ParseFrequencyText("1.03k"), 70, "1.06kHz");  // midway between 1.00 and 1.06
  ExpectEdit(ParseFrequencyText("970"), 68, "950.0Hz");
  ExpectEdit(ParseFrequencyText("1k "), 1, "20.0Hz");  // the suffix must end the text
  ExpectEdit(ParseFrequencyText("25000"), 121, "20.0kHz");
  ExpectEdit(ParseFrequencyText("1e300k"), 121, "20.0kHz");
  ExpectEdit(ParseFrequencyText("-400"), 1, "20.0Hz");
  const ParsedEdit garbage = ParseFrequencyText("abc");
  ExpectEdit(garbage, 1, "20.0Hz");
  EXPECT_FALSE(garbage.number);
  EXPECT_TRUE(ParseFrequencyText("0").number);
}

TEST(QText, OnlyTheFirstFourCharactersCount) {
  ExpectEdit(ParseQText("4.33(0.23)"), 46, "4.33(0.23)");
  ExpectEdit(ParseQText("25"), 72, "19.4(0.052)");
  ExpectEdit(ParseQText("0.315"), 0, "0.31(3.26)");  // read as 0.31
  ExpectEdit(ParseQText("1.06"), 22, "1.09(0.92)");  // midway between 1.03 and 1.09
  ExpectEdit(ParseQText("."), 0, "0.31(3.26)");
}

TEST(EqGainText, ClampsAndSnapsToHalfDecibels) {
  ExpectEdit(ParseEqGainText("13"), 48, "12.0dB");
  ExpectEdit(ParseEqGainText("-20"), 0, "-12.0dB");
  ExpectEdit(ParseEqGainText("-3.3"), 17, "-3.5dB");
  ExpectEdit(ParseEqGainText("-3.25"), 18, "-3.0dB");
  ExpectEdit(ParseEqGainText("-0.1dB"), 24, "0.0dB");
}

TEST(CrossoverFrequencyText, OffEndsBesideTheScale) {
  for (const char* text : {"Off", "off", "  OFF", "offset"}) {
    ExpectEdit(ParseHpfFrequencyText(text), kHpfOff, "Off");
    ExpectEdit(ParseLpfFrequencyText(text), kLpfOff, "Off");
  }
  ExpectEdit(ParseHpfFrequencyText("10"), 1, "20.0Hz");
  ExpectEdit(ParseLpfFrequencyText("25000"), 121, "20.0kHz");
  ExpectEdit(ParseLpfFrequencyText("2k"), 81, "2.00kHz");
  EXPECT_EQ(HpfFrequencyText(0), "Off");
  EXPECT_EQ(LpfFrequencyText(122), "Off");
  EXPECT_EQ(HpfFrequencyText(68), "950.0Hz");
  EXPECT_EQ(LpfFrequencyText(69), "1.00kHz");
}

TEST(DelayText, TypedTimesAndDistances) {
  const ParsedEdit ms = ParseDelayText("21.3", DelayUnit::Milliseconds);
  ExpectEdit(ms, 1019, "21.2292");
  const DelayTexts longest = DelayTextsOf(ms.code);
  EXPECT_EQ(longest.metres, "  7.2179");
  EXPECT_EQ(longest.feet, "23.6748");
  EXPECT_EQ(longest.inches, "284.1694");

  const ParsedEdit metre = ParseDelayText("1", DelayUnit::Metres);
  ExpectEdit(metre, 141, "  0.9988");
  EXPECT_EQ(DelayTextsOf(metre.code).milliseconds, "2.9375");

  ExpectEdit(ParseDelayText("-5", DelayUnit::Feet), 0, "0.0000");
  ExpectEdit(ParseDelayText("abc", DelayUnit::Inches), 0, "0.0000");
  // Past the maximum is the longest delay in every unit, not a step short of it.
  for (DelayUnit unit :
       {DelayUnit::Milliseconds, DelayUnit::Metres, DelayUnit::Feet, DelayUnit::Inches}) {
    EXPECT_EQ(ParseDelayText("1e6", unit).code, kMaxDelaySteps);
  }
  EXPECT_EQ(ParseDelayText("8", DelayUnit::Metres).code, kMaxDelaySteps);
  EXPECT_EQ(DelayTextsOf(5000).milliseconds, "21.2292");
  EXPECT_EQ(DelayTextsOf(-3).milliseconds, "0.0000");
}

// An operator who presses Enter on the delay as it is shown must not change it.
TEST(DelayText, EveryShownTextReadsBackAsItsOwnSteps) {
  for (DelayUnit unit :
       {DelayUnit::Milliseconds, DelayUnit::Metres, DelayUnit::Feet, DelayUnit::Inches}) {
    for (int steps = 0; steps <= kMaxDelaySteps; ++steps) {
      const std::string shown = DelayTextIn(DelayTextsOf(steps), unit);
      ASSERT_EQ(ParseDelayText(shown, unit).code, steps) << shown;
    }
  }
}

TEST(ThresholdText, FractionsAndEnds) {
  ExpectEdit(ParseThresholdText("-0.2"), 98, "-0.5dB");
  ExpectEdit(ParseThresholdText("-12.7"), 74, "-12.5dB");
  ExpectEdit(ParseThresholdText("3"), 99, "0.0dB");
  ExpectEdit(ParseThresholdText("-0"), 99, "0.0dB");
  ExpectEdit(ParseThresholdText("0.3"), 98, "-0.5dB");
  ExpectEdit(ParseThresholdText("-60"), 0, "-49.5dB");
}

TEST(RatioText, TruncatedOntoTheCodeScale) {
  ExpectEdit(ParseRatioText("4"), 74, "3.96 : 1");
  ExpectEdit(ParseRatioText("0.5"), 0, "1.00 : 1");
  ExpectEdit(ParseRatioText("150"), 99, "Infinity");
  ExpectEdit(ParseRatioText("99"), 98, "99.00 : 1");
  ExpectEdit(ParseRatioText("abc"), 0, "1.00 : 1");
}

TEST(TimeText, TakenDownToTheE12Step) {
  ExpectEdit(ParseTimeText("0.001"), 0, "0.010ms");
  ExpectEdit(ParseTimeText("20000"), 74, "15000.000ms");
  ExpectEdit(ParseTimeText("0.09"), 11, "0.082ms");
  ExpectEdit(ParseTimeText("0.1"), 12, "0.100ms");
  ExpectEdit(ParseTimeText("5"), 32, "4.700ms");
  ExpectEdit(ParseTimeText("9999"), 71, "8200.000ms");
}

// The compressor commits on every loss of focus: passing through an edit must keep its value.
TEST(CompressorTexts, EveryShownTextReadsBackAsItsOwnCode) {
  for (int code = 0; code <= 99; ++code) {
    EXPECT_EQ(ParseRatioText(RatioText(code)).code, code) << RatioText(code);
    const ParsedEdit threshold = ParseThresholdText(ThresholdText(code));
    EXPECT_EQ(threshold.code, code) << ThresholdText(code);
    EXPECT_EQ(ParseThresholdText(threshold.text).code, code) << threshold.text;
  }
  for (int code = 0; code <= kLastTimeCode; ++code) {
    const ParsedEdit time = ParseTimeText(TimeText(code));
    EXPECT_EQ(time.code, code) << TimeText(code);
    EXPECT_EQ(ParseTimeText(time.text).code, code) << time.text;
  }
}

TEST(EqualiserTexts, EveryShownTextReadsBackAsItsOwnCode) {
  for (int code = 1; code <= 121; ++code) {
    EXPECT_EQ(ParseFrequencyText(FrequencyCodeText(code)).code, code) << FrequencyCodeText(code);
  }
  for (int code = 0; code <= 72; ++code) EXPECT_EQ(ParseQText(QText(code)).code, code);
  for (int code = 0; code <= 48; ++code) {
    EXPECT_EQ(ParseEqGainText(EqGainText(code) + "dB").code, code);
  }
  for (int code = 1; code <= 205; ++code) EXPECT_EQ(ParseLevelText(LevelText(code)).code, code);
  ExpectEdit(ParseLevelText("-6.25"), 169, "-6.0");  // a tie goes up
  ExpectEdit(ParseLevelText("-95"), 1, "-90.0");     // the slider's bottom, not code 0
}

// Whatever arrives (pasted text, a script's argument), the codes stay inside their ranges.
TEST(AnyText, CodesStayInRange) {
  std::mt19937 random(7);
  const std::string alphabet = "0123456789.-+eEkKhHzZoOfFiInN ()\t\x01\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    const auto inRange = [&](const ParsedEdit& edit, int low, int high) {
      EXPECT_GE(edit.code, low) << text;
      EXPECT_LE(edit.code, high) << text;
      EXPECT_FALSE(edit.text.empty()) << text;
    };
    inRange(ParseFrequencyText(text), 1, 121);
    inRange(ParseQText(text), 0, 72);
    inRange(ParseEqGainText(text), 0, 48);
    inRange(ParseHpfFrequencyText(text), 0, 121);
    inRange(ParseLpfFrequencyText(text), 1, 122);
    inRange(ParseDelayText(text, DelayUnit::Feet), 0, kMaxDelaySteps);
    inRange(ParseThresholdText(text), 0, 99);
    inRange(ParseRatioText(text), 0, 99);
    inRange(ParseTimeText(text), 0, kLastTimeCode);
    inRange(ParseLevelText(text), 1, 205);
  }
}

TEST(HoldsValue, OnlyANumberOrTheParsersOwnWordNamesAValue) {
  // Emptied or blank edits, and text without a digit, name nothing whatever code they read as.
  for (const char* text : {"", "   ", "k", ".", "-", " . "}) {
    EXPECT_FALSE(HoldsValue(ParseFrequencyText(text), text)) << text;
    EXPECT_FALSE(HoldsValue(ParseEqGainText(text), text)) << text;
    EXPECT_FALSE(HoldsValue(ParseThresholdText(text), text)) << text;
    EXPECT_FALSE(HoldsValue(ParseDelayText(text, DelayUnit::Milliseconds), text)) << text;
  }
  EXPECT_TRUE(HoldsValue(ParseEqGainText("0"), "0"));
  EXPECT_TRUE(HoldsValue(ParseQText(".5"), ".5"));
  // The ratio's "Infinity" and the cut-offs' "Off" are values as shown, blanks around them or not.
  EXPECT_TRUE(HoldsValue(ParseRatioText("Infinity"), "Infinity"));
  EXPECT_TRUE(HoldsValue(ParseRatioText(" Infinity "), " Infinity "));
  EXPECT_TRUE(HoldsValue(ParseHpfFrequencyText("Off"), "Off"));
  // A word that only begins like one is not.
  EXPECT_FALSE(HoldsValue(ParseRatioText("Inf"), "Inf"));
  EXPECT_FALSE(HoldsValue(ParseLpfFrequencyText("offset"), "offset"));
}

}  // namespace
}  // namespace corvella
