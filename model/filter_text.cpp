#include "model/filter_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "model/scales.h"

namespace corvella {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::optional<double> Number(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

struct TypeCode {
  std::string_view text;
  std::uint8_t type;
};
constexpr TypeCode kTypes[] = {{"PK", 1},  {"PEQ", 1}, {"BP", 2},  {"HS", 3},
                               {"HSC", 3}, {"LS", 4},  {"LSC", 4}, {"NO", 5}};

FilterTextRead Failure(std::size_t line, const std::string& what) {
  FilterTextRead read;
  read.line = line;
  read.error = "line " + std::to_string(line) + ": " + what;
  return read;
}

std::string Trimmed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

FilterTextRead ParseFilterText(std::string_view text) {
  std::vector<TextFilter> filters;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> w = Words(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (w.empty() || w[0].front() == '#' || w[0] == "Preamp:") continue;
    // "Filter", "1:", "ON", "PK", then name-value pairs.
    if (w[0] != "Filter" || w.size() < 3 || w[1].empty() || w[1].back() != ':') {
      return Failure(lineNumber, "not a filter: \"Filter N: ON TYPE Fc HZ Hz ...\" was expected");
    }
    if (w[2] == "OFF" || (w.size() > 3 && w[3] == "None")) continue;
    if (w[2] != "ON" || w.size() < 4) return Failure(lineNumber, "a filter is ON or OFF");
    const TypeCode* type = nullptr;
    for (const TypeCode& t : kTypes) {
      if (t.text == w[3]) type = &t;
    }
    if (type == nullptr) {
      return Failure(lineNumber, "the unit has no filter of type " + std::string(w[3]));
    }
    TextFilter filter;
    filter.type = type->type;
    bool haveFc = false;
    for (std::size_t i = 4; i + 1 < w.size(); i += 2) {
      const std::optional<double> value = Number(w[i + 1]);
      if (!value) return Failure(lineNumber, std::string(w[i]) + " must be followed by a number");
      if (w[i] == "Fc") {
        filter.hz = *value;
        haveFc = *value > 0.0;
        if (i + 2 < w.size() && (w[i + 2] == "Hz" || w[i + 2] == "kHz")) {
          if (w[i + 2] == "kHz") filter.hz *= 1000.0;
          ++i;
        }
      } else if (w[i] == "Gain") {
        filter.gainDb = *value;
        if (i + 2 < w.size() && w[i + 2] == "dB") ++i;
      } else if (w[i] == "Q") {
        if (!(*value > 0.0)) return Failure(lineNumber, "Q must be above 0");
        filter.q = *value;
      } else {
        return Failure(lineNumber, "unknown field " + std::string(w[i]));
      }
    }
    if (!haveFc) return Failure(lineNumber, "a filter needs Fc and a frequency above 0 Hz");
    filters.push_back(filter);
  }
  FilterTextRead read;
  read.filters = std::move(filters);
  return read;
}

std::string FilterText(const std::vector<PeqBand>& bands) {
  std::string text;
  int n = 0;
  for (const PeqBand& band : bands) {
    const char* type = band.type == 1   ? "PK"
                       : band.type == 2 ? "BP"
                       : band.type == 3 ? "HS"
                       : band.type == 4 ? "LS"
                       : band.type == 5 ? "NO"
                                        : nullptr;
    if (type == nullptr) continue;
    text += "Filter " + std::to_string(++n) + ": ON " + type + " Fc " +
            Trimmed(FrequencyHz(band.frequency)) + " Hz";
    // The shelves' slope is fixed and the bandpass and notch have no gain.
    if (band.type == 1 || band.type == 3 || band.type == 4) {
      text += " Gain " + FormatFixed(EqGainDb(band.gain), 1) + " dB";
    }
    if (band.type == 1 || band.type == 2 || band.type == 5) {
      text += " Q " + Trimmed(QValue(band.q));
    }
    text += "\n";
  }
  return text;
}

}  // namespace corvella
