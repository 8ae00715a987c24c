// Edit texts to codes, by the commit rules of the pages.
#include "model/value_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

#include "model/scales.h"

namespace corvella {

namespace {

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The white space a C library's number conversion skips.
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(),
                    [](char a, char b) { return Upper(a) == b; });
}

int Trunc(double value, int low, int high) {
  // Clamping first keeps the conversion defined whatever the value.
  return static_cast<int>(
      std::clamp(std::trunc(value), static_cast<double>(low), static_cast<double>(high)));
}

// The nearest of `count` ascending values, a tie going to the upper one: the first value not below
// `value` wins unless the one before it is strictly nearer.
template <typename ValueOf>
int NearestIndex(double value, int count, ValueOf valueOf) {
  int index = 0;
  while (index < count - 1 && valueOf(index) < value) ++index;
  const double upper = valueOf(index);
  if (value < upper && index > 0) {
    const double lower = valueOf(index - 1);
    if (value - lower < upper - value) --index;
  }
  return index;
}

// The frequency texts of the PEQ edits: typed number, kilohertz suffix, 20 kHz ceiling, nearest
// entry.
int FrequencyCodeOf(std::string_view text, bool& number) {
  const LeadingNumber n = ReadLeadingNumber(text);
  number = n.found;
  double value = n.value;
  if (EndsWithNoCase(text, "KHZ") || EndsWithNoCase(text, "K") || EndsWithNoCase(text, "KH") ||
      EndsWithNoCase(text, "KZ")) {
    value *= 1000.0;
  }
  return FrequencyCodeOfHz(value);
}

// Whether the first non-blank characters of a text spell `word` (upper case), in any case.
bool BeginsWithWord(std::string_view text, std::string_view word) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsSpace);
  const std::string_view rest = text.substr(static_cast<std::size_t>(first - text.begin()));
  return rest.size() >= word.size() && std::equal(word.begin(), word.end(), rest.begin(),
                                                  [](char w, char c) { return Upper(c) == w; });
}

constexpr std::string_view kOffText = "Off";

// Steps of a delay typed in one unit, as the delay edits convert it.
struct DelayRule {
  double bias;
  double maximum;
};

constexpr double kPerMetre = 2.941176470588235;  // 1 / 0.34: milliseconds per metre of sound travel

constexpr DelayRule RuleOf(DelayUnit unit) {
  switch (unit) {
    case DelayUnit::Milliseconds:
      return {0.0, 21.2292};
    case DelayUnit::Metres:
      return {0.00009, 7.2179};
    case DelayUnit::Feet:
      return {0.00005, 23.6748};
    case DelayUnit::Inches:
      return {0.00009, 284.1694};
  }
  return {0.0, 21.2292};
}

double StepsOf(double t, DelayUnit unit) {
  switch (unit) {
    case DelayUnit::Milliseconds:
      return t * 48.0;
    case DelayUnit::Metres:
      return t * kPerMetre * 48.0;
    case DelayUnit::Feet:
      return (((t * 0.30483333) + 0.000059999) * kPerMetre + 0.000059999) * 48.0 + 0.00005999;
    case DelayUnit::Inches:
      return t * 0.0254 * kPerMetre * 48.0;
  }
  return 0.0;
}

double DelayIn(int steps, DelayUnit unit) {
  switch (unit) {
    case DelayUnit::Milliseconds:
      return DelayMs(steps);
    case DelayUnit::Metres:
      return DelayMetres(steps);
    case DelayUnit::Feet:
      return DelayFeet(steps);
    case DelayUnit::Inches:
      return DelayInches(steps);
  }
  return 0.0;
}

// Whether x has reached mantissa m: a shown time such as "4.700" divided by its decade lands a hair
// below 0.047, and must not fall to the step beneath.
bool Reaches(double x, double m) {
  return x >= m * (1.0 - 1e-9);
}

}  // namespace

LeadingNumber ReadLeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t start = i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return {};
  bool negativeExponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    } else {
      negativeExponent = false;
    }
  }
  const char* const first = text.data() + start;
  const char* const last = text.data() + i;
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(first, last, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large for a double saturates, too small is zero, as a C library's conversion gives.
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return {negative ? -value : value, true};
}

bool HoldsValue(const ParsedEdit& parsed, std::string_view typed) {
  if (parsed.number) return true;
  const auto first = std::find_if_not(typed.begin(), typed.end(), IsSpace);
  const auto last = std::find_if_not(typed.rbegin(), typed.rend(), IsSpace).base();
  return first < last && std::string_view(first, last) == parsed.text;
}

ParsedEdit ParseFrequencyText(std::string_view text) {
  ParsedEdit out;
  out.code = FrequencyCodeOf(text, out.number);
  out.text = FrequencyCodeText(out.code);
  return out;
}

std::string FrequencyCodeText(int code) {
  std::string text(FrequencyText(code));
  text += FrequencyUnit(code);
  return text;
}

ParsedEdit ParseQText(std::string_view text) {
  const LeadingNumber n = ReadLeadingNumber(text.substr(0, 4));
  const int code = QCodeOf(n.value);
  return {code, std::string(QText(code)), n.found};
}

ParsedEdit ParseEqGainText(std::string_view text) {
  const LeadingNumber n = ReadLeadingNumber(text);
  const int code = EqGainCodeOf(n.value);
  return {code, EqGainText(code) + std::string(kGainUnit), n.found};
}

ParsedEdit ParseHpfFrequencyText(std::string_view text) {
  if (BeginsWithWord(text, "OFF")) return {kHpfOff, std::string(kOffText), false};
  return ParseFrequencyText(text);
}

ParsedEdit ParseLpfFrequencyText(std::string_view text) {
  if (BeginsWithWord(text, "OFF")) return {kLpfOff, std::string(kOffText), false};
  return ParseFrequencyText(text);
}

std::string HpfFrequencyText(int code) {
  return code == kHpfOff ? std::string(kOffText) : FrequencyCodeText(code);
}

std::string LpfFrequencyText(int code) {
  return code == kLpfOff ? std::string(kOffText) : FrequencyCodeText(code);
}

DelayTexts DelayTextsOf(int steps) {
  const std::int32_t n = std::clamp(steps, 0, kMaxDelaySteps);
  return {DelayMsText(n), DelayMetresText(n), DelayFeetText(n), DelayInchesText(n)};
}

std::string DelayTextIn(const DelayTexts& texts, DelayUnit unit) {
  switch (unit) {
    case DelayUnit::Milliseconds:
      return texts.milliseconds;
    case DelayUnit::Metres:
      return texts.metres;
    case DelayUnit::Feet:
      return texts.feet;
    case DelayUnit::Inches:
      return texts.inches;
  }
  return texts.milliseconds;
}

ParsedEdit ParseDelayText(std::string_view text, DelayUnit unit) {
  const LeadingNumber n = ReadLeadingNumber(text);
  const int steps = DelayStepsOf(n.value, unit);
  return {steps, DelayTextIn(DelayTextsOf(steps), unit), n.found};
}

int DelayStepsOf(double value, DelayUnit unit) {
  const DelayRule rule = RuleOf(unit);
  const double t = value + rule.bias;
  // Each unit's maximum is the longest delay's text, and the conversion of that text lands a hair
  // under 1019 steps for the distance units: at or past the maximum is the longest delay.
  int steps = t >= rule.maximum ? kMaxDelaySteps
                                : Trunc(StepsOf(std::max(t, 0.0), unit), 0, kMaxDelaySteps);
  // The biases do not cover every shown text (milliseconds has none, and feet read back with a
  // factor other than the one they are shown with), so a delay's own text, typed back, could land
  // one step low: pressing Enter on the shown delay would change it. Such a text selects its own
  // step.
  if (steps < kMaxDelaySteps && FormatFixed(value, 4) == FormatFixed(DelayIn(steps + 1, unit), 4)) {
    ++steps;
  }
  return steps;
}

ParsedEdit ParseThresholdText(std::string_view text) {
  const LeadingNumber n = ReadLeadingNumber(text);
  const int code = ThresholdCodeOf(n.value);
  return {code, FormatFixed(ThresholdDb(code), 1, 2) + "dB", n.found};
}

int ThresholdCodeOf(double db) {
  double t = db;
  const double whole = std::trunc(t);
  if (t != whole) t = whole <= 0.0 ? whole - 0.5 : whole + 0.5;
  t = std::clamp(t, -49.5, 0.0);
  return 99 - Trunc(std::fabs(2.0 * t), 0, 99);
}

ParsedEdit ParseRatioText(std::string_view text) {
  // The edit's own "Infinity" holds no number; read literally it would fall to 1 : 1 when the
  // operator merely passes through the edit.
  if (BeginsWithWord(text, "INF")) return {99, std::string(kInfinityText), false};
  const LeadingNumber n = ReadLeadingNumber(text);
  const int code = RatioCodeOf(n.value);
  return {code, RatioText(code), n.found};
}

int RatioCodeOf(double r) {
  int code = 0;
  if (r > 99.0) {
    code = 99;
  } else if (r >= 1.0) {
    code = Trunc((1.0 - 1.0 / r) * 99.0, 0, 98);
    // A shown ratio is rounded to two decimals and reads back a little under its own code; taken
    // literally, tabbing through the edit would lower the ratio one step at every pass.
    if (code < 98 && FormatFixed(r, 2) == FormatFixed(*Ratio(code + 1), 2)) ++code;
  }
  return code;
}

ParsedEdit ParseTimeText(std::string_view text) {
  const LeadingNumber n = ReadLeadingNumber(text);
  const int code = TimeCodeOf(n.value);
  return {code, FormatFixed(TimeMs(code), 3) + "ms", n.found};
}

int TimeCodeOf(double ms) {
  const double a = std::clamp(ms, 0.01, 15000.0);
  int decade = 0;
  double scale = 1.0;
  for (double limit = 0.1; decade < 6 && !(a < limit * (1.0 - 1e-9)); limit *= 10.0) {
    ++decade;
    scale *= 10.0;
  }
  const double x = a / scale;
  int i = 0;
  while (i < 11 && !(Reaches(x, kTimeMantissa[static_cast<std::size_t>(i)]) &&
                     !Reaches(x, kTimeMantissa[static_cast<std::size_t>(i) + 1]))) {
    ++i;
  }
  return std::min(i + 12 * decade, kLastTimeCode);
}

ParsedEdit ParseLevelText(std::string_view text) {
  const LeadingNumber n = ReadLeadingNumber(text);
  const int code = LevelCodeOf(n.value);
  return {code, LevelText(code), n.found};
}

int FrequencyCodeOfHz(double hz) {
  const double value = std::min(hz, 20000.0);
  return 1 + NearestIndex(value, kFrequencyScaleSize, [](int i) { return FrequencyHz(i + 1); });
}

int QCodeOf(double q) {
  const double value = std::min(q, QValue(kLastQCode));
  return NearestIndex(value, kQScaleSize, [](int i) { return QValue(i); });
}

int EqGainCodeOf(double db) {
  return NearestIndex(std::min(db, 12.0), 49, [](int i) { return EqGainDb(i); });
}

int LevelCodeOf(double db) {
  const double value = std::min(db, LevelDb(205));
  // The slider reaches codes 1..205; code 0 only ever comes from the unit or a file.
  return 1 + NearestIndex(value, 205, [](int i) { return LevelDb(i + 1); });
}

}  // namespace corvella
