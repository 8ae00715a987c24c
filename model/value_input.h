// What the operator types into an edit, turned into the code the unit receives and the text the
// edit shows afterwards. Pure functions shared by the pages, the command line and the fuzzers:
// every rule here reads its text the way the edits always have (leading number, clamp, snap to the
// scale).
#pragma once

#include <string>
#include <string_view>

#include "model/scales.h"

namespace corvella {

// The leading decimal number of a text: white space skipped, an optional sign, digits with at most
// one '.', an optional exponent; reading stops at the first character that cannot continue it.
// Hexadecimal, "inf" and "nan" are not numbers here. `found` is false (and `value` 0) without a
// digit.
struct LeadingNumber {
  double value = 0.0;
  bool found = false;
};
LeadingNumber ReadLeadingNumber(std::string_view text);

// The outcome of committing an edit: the code to store and send, the edit's new text, and whether
// the text held a number at all (text without one reads as 0, as the edits have always done; a
// caller that wants to refuse it can).
struct ParsedEdit {
  int code = 0;
  std::string text;
  bool number = false;
};

// Whether `typed` named a value: it held a number, or it is the parser's own word for one (the
// ratio's "Infinity", a cut-off's "Off") standing as it is shown. An emptied edit names none.
bool HoldsValue(const ParsedEdit& parsed, std::string_view typed);

// ---- Equaliser edits
// --------------------------------------------------------------------------------

// Frequency, code 1..121. Kilohertz when the text ends in "KHZ", "K", "KH" or "KZ" (any case);
// above 20 kHz is 20 kHz; snapped to the nearest scale entry, a tie going to the upper one. Text
// "950.0Hz", "1.00kHz".
ParsedEdit ParseFrequencyText(std::string_view text);
// The text of frequency code 1..121 ("20.0Hz" .. "20.0kHz"); codes outside show their nearest end.
std::string FrequencyCodeText(int code);

// Q, code 0..72: only the first four characters count (so a shown "4.33(0.23)" reads 4.33);
// above 19.4 is 19.4; nearest entry, ties to the upper one. Text: the scale entry ("4.33(0.23)").
ParsedEdit ParseQText(std::string_view text);

// Equaliser gain, code 0..48 (dB = 0.5 code - 12): nearest half decibel in -12..+12, ties to the
// upper step ("-3.25" gives -3.0). Text "%.1fdB" ("-3.5dB").
ParsedEdit ParseEqGainText(std::string_view text);

// ---- Crossover
// -------------------------------------------------------------------------------------

// Cut-off frequencies with their "Off" ends: a text beginning with "Off" (any case) switches the
// filter off (high-pass code 0, low-pass code 122); anything else is a frequency as above. Texts
// "Off", "950.0Hz", "2.00kHz".
ParsedEdit ParseHpfFrequencyText(std::string_view text);
ParsedEdit ParseLpfFrequencyText(std::string_view text);
std::string HpfFrequencyText(int code);
std::string LpfFrequencyText(int code);

// ---- Delay
// -----------------------------------------------------------------------------------------

inline constexpr int kMaxDelaySteps = 1019;  // one step is 1/48 ms

enum class DelayUnit { Milliseconds, Metres, Feet, Inches };

// The four texts that always show the same delay.
struct DelayTexts {
  std::string milliseconds;  // "%.4f", "21.2292"
  std::string metres;        // "%8.4f", "  7.2179"
  std::string feet;          // "%.4f", "23.6748"
  std::string inches;        // "%5.4f", "284.1694"
};
DelayTexts DelayTextsOf(int steps);
std::string DelayTextIn(const DelayTexts& texts, DelayUnit unit);

// A typed delay in one of the four units, in steps 0..1019 (truncated toward zero after a small
// per-unit bias that makes each shown text read back as its own step count). `text` is that unit's
// text of the result; the other three come from DelayTextsOf(code).
ParsedEdit ParseDelayText(std::string_view text, DelayUnit unit);

// ---- Compressor/limiter
// ----------------------------------------------------------------------------

// Threshold, code 0..99 (dB = 0.5 code - 49.5): a fraction goes to the half decibel away from zero
// for positive numbers and toward -0.5 otherwise ("-0.2" is -0.5 dB, code 98); clamped to -49.5..0.
// Text "%2.1fdB" ("-12.5dB").
ParsedEdit ParseThresholdText(std::string_view text);

// Ratio, code 0..99: below 1 is code 0, above 99 is code 99 ("Infinity"); otherwise
// trunc((1 - 1/r) x 99), so "4" is code 74, shown "3.96 : 1". A number that is exactly the shown
// ratio of a code selects that code.
ParsedEdit ParseRatioText(std::string_view text);

// Release, attack and auxiliary time, code 0..74: clamped to 0.01..15000 ms and taken down to the
// E12 step at or below it ("0.09" is code 11, 0.082 ms). Text "%.3fms" ("4.700ms").
ParsedEdit ParseTimeText(std::string_view text);

// ---- Levels
// ----------------------------------------------------------------------------------------

// Input or output level in dB, code 1..205 (dB = 0.5 code - 90.5; the slider's range, -90..+12):
// nearest half decibel, ties to the upper step. Text "%.1f" ("-6.5").
ParsedEdit ParseLevelText(std::string_view text);

// ---- Numbers already read ------------------------------------------------------------------
// The same snapping as the edits above, for a value that arrives as a number (remote control):
// one rule each, which the text parsers use too.

int FrequencyCodeOfHz(double hz);                // 1..121
int QCodeOf(double q);                           // 0..72
int EqGainCodeOf(double db);                     // 0..48
int LevelCodeOf(double db);                      // 1..205
int DelayStepsOf(double value, DelayUnit unit);  // 0..1019
int ThresholdCodeOf(double db);                  // 0..99
int RatioCodeOf(double ratio);                   // 0..99 (99: "Infinity")
int TimeCodeOf(double ms);                       // 0..74

}  // namespace corvella
