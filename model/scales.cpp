// Display texts of the arithmetic scales.
#include "model/scales.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

namespace corvella {

std::string FormatFixed(double value, int decimals, int width) {
  std::array<char, 400> buffer{};
  const std::to_chars_result result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                    value, std::chars_format::fixed, decimals);
  std::string text =
      result.ec == std::errc() ? std::string(buffer.data(), result.ptr) : std::string("0");
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string EqGainText(int code) {
  return FormatFixed(EqGainDb(code), 1);
}
std::string LevelText(int code) {
  return FormatFixed(LevelDb(code), 1);
}

std::string DelayMsText(std::int32_t steps) {
  return FormatFixed(DelayMs(steps), 4);
}
std::string DelayMetresText(std::int32_t steps) {
  return FormatFixed(DelayMetres(steps), 4, 8);
}
std::string DelayFeetText(std::int32_t steps) {
  return FormatFixed(DelayFeet(steps), 4);
}
std::string DelayInchesText(std::int32_t steps) {
  return FormatFixed(DelayInches(steps), 4, 5);
}

std::string ThresholdText(int code) {
  return FormatFixed(ThresholdDb(code), 1) + " dB";
}
std::string AuxGainText(int code) {
  return FormatFixed(AuxGainDb(code), 1) + " dB";
}

std::optional<double> Ratio(int code) {
  // The step is the double nearest 1/99, so that code 99 lands on exactly zero.
  const double d = 1.0 - code * 0.010101010101010102;
  if (d <= 0.0) return std::nullopt;
  return 1.0 / d;
}

std::string RatioText(int code) {
  const std::optional<double> ratio = Ratio(code);
  return ratio ? FormatFixed(*ratio, 2) + " : 1" : std::string(kInfinityText);
}

double TimeMs(int code) {
  const int c = std::clamp(code, 0, kLastTimeCode);
  double decade = 1.0;
  for (int i = 0; i < c / 12; ++i) decade *= 10.0;
  return decade * kTimeMantissa[static_cast<std::size_t>(c % 12)];
}

std::string TimeText(int code) {
  return FormatFixed(TimeMs(code), 3) + " ms";
}

}  // namespace corvella
