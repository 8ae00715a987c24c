// What each stored code stands for: the fixed frequency and Q texts, and one pure function per
// arithmetic rule with its display format. Pages, graphs and the CLI all call these.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/program_parameters.h"

namespace corvella {

// `value` with `decimals` digits after the point, right-aligned in `width` characters; never
// locale-dependent (a window started under a German locale still shows "1.00kHz").
std::string FormatFixed(double value, int decimals, int width = 0);

inline constexpr int kFrequencyScaleSize = 121;
inline constexpr int kQScaleSize = 73;
inline constexpr int kFirstFrequencyCode = 1;
inline constexpr int kLastFrequencyCode = 121;
inline constexpr int kFirstKilohertzCode = 69;  // codes below are shown in Hz, from here on in kHz
inline constexpr int kLastQCode = 72;

// Entry k - 1 is frequency code k. The texts are fixed, not computed: the nominal values of a
// twelfth-octave series are rounded the way the unit's front panel shows them.
inline constexpr std::array<std::string_view, kFrequencyScaleSize> FrequencyScale = {
    "20.0",  "21.2",  "22.4",  "23.7",  "25.0",  "26.5",  "28.0",  "29.5",  "31.5",  "33.5",
    "35.5",  "37.5",  "40.0",  "42.5",  "45.0",  "47.5",  "50.0",  "53.0",  "56.0",  "59.5",
    "63.0",  "67.0",  "71.0",  "75.0",  "80.0",  "85.0",  "90.0",  "95.0",  "100.0", "106.0",
    "112.0", "118.0", "125.0", "132.0", "140.0", "150.0", "160.0", "170.0", "180.0", "190.0",
    "200.0", "212.0", "224.0", "237.0", "250.0", "265.0", "280.0", "295.0", "315.0", "335.0",
    "355.0", "375.0", "400.0", "425.0", "450.0", "475.0", "500.0", "530.0", "560.0", "595.0",
    "630.0", "670.0", "710.0", "750.0", "800.0", "850.0", "900.0", "950.0", "1.00",  "1.06",
    "1.12",  "1.18",  "1.25",  "1.32",  "1.40",  "1.50",  "1.60",  "1.70",  "1.80",  "1.90",
    "2.00",  "2.12",  "2.24",  "2.37",  "2.50",  "2.65",  "2.80",  "2.95",  "3.15",  "3.35",
    "3.55",  "3.75",  "4.00",  "4.25",  "4.50",  "4.75",  "5.00",  "5.30",  "5.60",  "5.95",
    "6.30",  "6.70",  "7.10",  "7.50",  "8.00",  "8.50",  "9.00",  "9.50",  "10.0",  "10.6",
    "11.2",  "11.8",  "12.5",  "13.2",  "14.0",  "15.0",  "16.0",  "17.0",  "18.0",  "19.0",
    "20.0"};

// Index = Q code. The figure in parentheses is close to 1/Q; the text is shown unchanged.
inline constexpr std::array<std::string_view, kQScaleSize> QScale = {
    "0.31(3.26)",  "0.32(3.08)",  "0.34(2.91)",  "0.36(2.74)",  "0.39(2.59)",  "0.41(2.44)",
    "0.43(2.31)",  "0.46(2.18)",  "0.49(2.06)",  "0.52(1.94)",  "0.55(1.83)",  "0.58(1.73)",
    "0.61(1.63)",  "0.65(1.54)",  "0.69(1.46)",  "0.72(1.37)",  "0.77(1.30)",  "0.82(1.22)",
    "0.86(1.16)",  "0.92(1.09)",  "0.97(1.03)",  "1.03(0.97)",  "1.09(0.92)",  "1.15(0.87)",
    "1.22(0.82)",  "1.29(0.77)",  "1.37(0.73)",  "1.45(0.69)",  "1.54(0.65)",  "1.63(0.61)",
    "1.73(0.58)",  "1.83(0.55)",  "1.94(0.52)",  "2.05(0.49)",  "2.17(0.46)",  "2.30(0.43)",
    "2.44(0.41)",  "2.58(0.39)",  "2.73(0.37)",  "2.90(0.35)",  "3.07(0.33)",  "3.25(0.31)",
    "3.44(0.29)",  "3.65(0.27)",  "3.86(0.26)",  "4.09(0.24)",  "4.33(0.23)",  "4.59(0.22)",
    "4.86(0.21)",  "5.15(0.19)",  "5.46(0.18)",  "5.77(0.17)",  "6.12(0.16)",  "6.48(0.15)",
    "6.86(0.145)", "7.27(0.137)", "7.71(0.130)", "8.16(0.123)", "8.64(0.116)", "9.17(0.109)",
    "9.72(0.103)", "10.3(0.097)", "10.9(0.092)", "11.5(0.087)", "12.2(0.082)", "12.9(0.077)",
    "13.7(0.073)", "14.5(0.069)", "15.4(0.065)", "16.3(0.061)", "17.3(0.058)", "18.3(0.055)",
    "19.4(0.052)"};

// The leading decimal number of a text ("4.33(0.23)" -> 4.33), evaluated as the integer of its
// digits divided by a power of ten, which is the correctly rounded value a C library would give.
constexpr double LeadingDecimal(std::string_view text) {
  double digits = 0.0;
  double divisor = 1.0;
  bool afterPoint = false;
  for (char c : text) {
    if (c == '.' && !afterPoint) {
      afterPoint = true;
    } else if (c >= '0' && c <= '9') {
      digits = digits * 10.0 + (c - '0');
      if (afterPoint) divisor *= 10.0;
    } else {
      break;
    }
  }
  return digits / divisor;
}

// ---- Frequency codes --------------------------------------------------------------------------
// Codes outside 1..121 are clamped to the nearest end of the scale (an unrepaired image may hold
// 0 or 200); callers that give 0 or 122 a meaning of their own ("Off") check it first.

constexpr int ClampFrequencyCode(int code) {
  return code < kFirstFrequencyCode  ? kFirstFrequencyCode
         : code > kLastFrequencyCode ? kLastFrequencyCode
                                     : code;
}

constexpr std::string_view FrequencyText(int code) {
  return FrequencyScale[static_cast<std::size_t>(ClampFrequencyCode(code) - 1)];
}

// "Hz" for codes 1..68, "kHz" for 69..121.
constexpr std::string_view FrequencyUnit(int code) {
  return ClampFrequencyCode(code) >= kFirstKilohertzCode ? "kHz" : "Hz";
}

constexpr double FrequencyHz(int code) {
  const int k = ClampFrequencyCode(code);
  const double value = LeadingDecimal(FrequencyScale[static_cast<std::size_t>(k - 1)]);
  return k >= kFirstKilohertzCode ? value * 1000.0 : value;
}

// The crossover's own codes beside the scale.
constexpr bool IsHpfOff(int code) {
  return code == kHpfOff;
}
constexpr bool IsLpfOff(int code) {
  return code == kLpfOff;
}
// Both filters off: the crossover adds nothing to any curve.
constexpr bool IsCrossoverOff(const CrossoverSettings& x) {
  return IsHpfOff(x.hpfFrequency) && IsLpfOff(x.lpfFrequency);
}

// ---- Q codes (clamped to 0..72) ---------------------------------------------------------------

constexpr int ClampQCode(int code) {
  return code < 0 ? 0 : code > kLastQCode ? kLastQCode : code;
}
constexpr std::string_view QText(int code) {
  return QScale[static_cast<std::size_t>(ClampQCode(code))];
}
constexpr double QValue(int code) {
  return LeadingDecimal(QText(code));
}

// ---- Arithmetic scales ------------------------------------------------------------------------
// Values are computed from any code as given; the texts use the formats the pages show.

// EQ gain 0..48: -12.0 .. +12.0 dB. Text "%.1f"; the pages put kGainUnit beside it.
inline constexpr std::string_view kGainUnit = "dB";
constexpr double EqGainDb(int code) {
  return 0.5 * code - 12.0;
}
std::string EqGainText(int code);

// Input and output level 0..205: -90.5 .. +12.0 dB, 181 = 0.0 dB. Text "%.1f".
constexpr double LevelDb(int code) {
  return 0.5 * code - 90.5;
}
std::string LevelText(int code);

// Delay 0..1019 steps of 1/48 ms (one sample at 48 kHz).
constexpr double DelayMs(std::int32_t steps) {
  return steps / 48.0;
}
// Sound travels 0.34 m per millisecond.
constexpr double DelayMetres(std::int32_t steps) {
  return DelayMs(steps) * 0.34;
}
constexpr double DelayFeet(std::int32_t steps) {
  return DelayMetres(steps) * 3.28;
}
constexpr double DelayInches(std::int32_t steps) {
  return DelayMetres(steps) * 39.37;
}
std::string DelayMsText(std::int32_t steps);      // "%.4f"
std::string DelayMetresText(std::int32_t steps);  // "%8.4f"
std::string DelayFeetText(std::int32_t steps);    // "%.4f"
std::string DelayInchesText(std::int32_t steps);  // "%5.4f"

// Threshold 0..99: -49.5 .. 0.0 dB. Text "%.1f dB".
constexpr double ThresholdDb(int code) {
  return 0.5 * code - 49.5;
}
std::string ThresholdText(int code);

// Auxiliary gain 0..99, 48 = 0.0 dB. Text "%.1f dB".
constexpr double AuxGainDb(int code) {
  return 0.5 * code - 24.0;
}
std::string AuxGainText(int code);

// Ratio 0..99: 1 / (1 - code / 99). Code 99 (and anything above, which would turn the ratio
// negative) is an infinite ratio: no value, text "Infinity". Otherwise "%.2f : 1".
inline constexpr std::string_view kInfinityText = "Infinity";
std::optional<double> Ratio(int code);
std::string RatioText(int code);

// Time 0..74: 10^(code div 12) x the E12 mantissa. Codes are clamped to 0..74. Text "%.3f ms".
inline constexpr int kLastTimeCode = 74;
inline constexpr std::array<double, 12> kTimeMantissa = {0.01,  0.012, 0.015, 0.018, 0.022, 0.027,
                                                         0.033, 0.039, 0.047, 0.056, 0.068, 0.082};
double TimeMs(int code);
std::string TimeText(int code);

// Output phase: 0 "Normal", anything else "Inverse".
inline constexpr std::string_view kPhaseNormalText = "Normal";
inline constexpr std::string_view kPhaseInverseText = "Inverse";
constexpr std::string_view PhaseText(int code) {
  return code == 0 ? kPhaseNormalText : kPhaseInverseText;
}

}  // namespace corvella
