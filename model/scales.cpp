// Display texts of the arithmetic scales.
#include "model/scales.h"

#include <algorithm>
#include <cstdio>

namespace corvella {

namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  if (n < 0) return {};
  return std::string(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

}  // namespace

std::string EqGainText(int code) {
  return Format("%.1f", EqGainDb(code));
}
std::string LevelText(int code) {
  return Format("%.1f", LevelDb(code));
}

std::string DelayMsText(std::int32_t steps) {
  return Format("%.4f", DelayMs(steps));
}
std::string DelayMetresText(std::int32_t steps) {
  return Format("%8.4f", DelayMetres(steps));
}
std::string DelayFeetText(std::int32_t steps) {
  return Format("%.4f", DelayFeet(steps));
}
std::string DelayInchesText(std::int32_t steps) {
  return Format("%5.4f", DelayInches(steps));
}

std::string ThresholdText(int code) {
  return Format("%.1f dB", ThresholdDb(code));
}
std::string AuxGainText(int code) {
  return Format("%.1f dB", AuxGainDb(code));
}

std::optional<double> Ratio(int code) {
  // The step is the double nearest 1/99, so that code 99 lands on exactly zero.
  const double d = 1.0 - code * 0.010101010101010102;
  if (d <= 0.0) return std::nullopt;
  return 1.0 / d;
}

std::string RatioText(int code) {
  const std::optional<double> ratio = Ratio(code);
  return ratio ? Format("%.2f : 1", *ratio) : std::string(kInfinityText);
}

double TimeMs(int code) {
  const int c = std::clamp(code, 0, kLastTimeCode);
  double decade = 1.0;
  for (int i = 0; i < c / 12; ++i) decade *= 10.0;
  return decade * kTimeMantissa[static_cast<std::size_t>(c % 12)];
}

std::string TimeText(int code) {
  return Format("%.3f ms", TimeMs(code));
}

}  // namespace corvella
