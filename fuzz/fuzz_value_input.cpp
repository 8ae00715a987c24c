// Arbitrary text typed into any edit: the code must stay in its range, and the text the edit
// shows afterwards must read back as the same code (otherwise merely leaving the edit again, which
// commits, would change the value).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "model/value_input.h"

namespace {

using corvella::ParsedEdit;

using corvella::fuzz::Require;

struct Rule {
  int first;
  int last;
  ParsedEdit (*parse)(std::string_view);
};

ParsedEdit DelayMs(std::string_view t) {
  return ParseDelayText(t, corvella::DelayUnit::Milliseconds);
}
ParsedEdit DelayMetres(std::string_view t) {
  return ParseDelayText(t, corvella::DelayUnit::Metres);
}
ParsedEdit DelayFeet(std::string_view t) {
  return ParseDelayText(t, corvella::DelayUnit::Feet);
}
ParsedEdit DelayInches(std::string_view t) {
  return ParseDelayText(t, corvella::DelayUnit::Inches);
}

constexpr Rule kRules[] = {
    {1, 121, corvella::ParseFrequencyText},     {0, 72, corvella::ParseQText},
    {0, 48, corvella::ParseEqGainText},         {0, 121, corvella::ParseHpfFrequencyText},
    {1, 122, corvella::ParseLpfFrequencyText},  {0, corvella::kMaxDelaySteps, DelayMs},
    {0, corvella::kMaxDelaySteps, DelayMetres}, {0, corvella::kMaxDelaySteps, DelayFeet},
    {0, corvella::kMaxDelaySteps, DelayInches}, {0, 99, corvella::ParseThresholdText},
    {0, 99, corvella::ParseRatioText},          {0, 74, corvella::ParseTimeText},
    {1, 205, corvella::ParseLevelText},
};
constexpr std::size_t kRuleCount = sizeof(kRules) / sizeof(kRules[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Rule& rule = kRules[data[0] % kRuleCount];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const ParsedEdit first = rule.parse(text);
  Require(first.code >= rule.first && first.code <= rule.last);
  const ParsedEdit again = rule.parse(first.text);
  Require(again.code == first.code && again.text == first.text);

  (void)corvella::ReadLeadingNumber(text);
  return 0;
}
