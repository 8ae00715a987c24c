#include "graph/driver_response.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numbers>
#include <system_error>

namespace corvella::graph {

namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\v' || c == '\f';
}

// Splits a line on runs of separators; at most `limit` fields are returned.
std::vector<std::string_view> Fields(std::string_view line, std::size_t limit) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size() && fields.size() < limit) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsSeparator(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// A whole field as a finite number; a leading '+' is allowed, as some exports write one.
std::optional<double> Number(std::string_view field) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty()) return std::nullopt;
  double value = 0.0;
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string LineError(std::size_t line, std::string_view what) {
  return "line " + std::to_string(line) + ": " + std::string(what);
}

// Beyond these the numbers are not a measurement; they would also lose all precision in the
// interpolation.
constexpr double kMaxAbsDb = 1000.0;
constexpr double kMaxAbsDegrees = 1.0e7;

}  // namespace

std::optional<DriverResponse> DriverResponse::Parse(std::string_view text, std::string& error) {
  DriverResponse response;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;

    const std::vector<std::string_view> fields = Fields(line, 3);
    if (fields.empty()) continue;
    const char lead = fields.front().front();
    if (lead == '*' || lead == '#' || lead == ';') continue;
    const std::optional<double> hz = Number(fields[0]);
    if (!hz) continue;  // a column header or a title line
    if (*hz <= 0.0) {
      error = LineError(lineNumber, "the frequency must be above 0 Hz");
      return std::nullopt;
    }
    const std::optional<double> db = fields.size() > 1 ? Number(fields[1]) : std::nullopt;
    if (!db || std::fabs(*db) > kMaxAbsDb) {
      error = LineError(lineNumber, "a frequency must be followed by a magnitude in dB");
      return std::nullopt;
    }
    std::optional<double> degrees;
    if (fields.size() > 2) {
      degrees = Number(fields[2]);
      if (!degrees || std::fabs(*degrees) > kMaxAbsDegrees) {
        error = LineError(lineNumber, "the third column must be a phase in degrees");
        return std::nullopt;
      }
    }
    if (first) {
      response.hasPhase_ = degrees.has_value();
      first = false;
    } else if (response.hasPhase_ != degrees.has_value()) {
      error = LineError(lineNumber, response.hasPhase_ ? "the phase is missing"
                                                       : "a phase where the lines above have none");
      return std::nullopt;
    }
    if (!response.points_.empty() && *hz <= response.points_.back().hz) {
      error = LineError(lineNumber, "the frequencies must rise from line to line");
      return std::nullopt;
    }
    double phase = degrees.value_or(0.0);
    if (!response.points_.empty()) {
      // Unwrap: take the turn that puts this point within half a turn of the one before.
      const double previous = response.points_.back().degrees;
      phase -= 360.0 * std::round((phase - previous) / 360.0);
    }
    response.points_.push_back({*hz, *db, phase});
    response.logHz_.push_back(std::log(*hz));
  }
  if (response.points_.size() < 2) {
    error = "no measurement in it: at least two lines of frequency and magnitude are needed";
    return std::nullopt;
  }
  return response;
}

std::optional<DriverResponse> DriverResponse::Load(const std::filesystem::path& path,
                                                   std::string& error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = path.string() + ": " + ec.message();
    return std::nullopt;
  }
  if (size > kMaxDriverFileBytes) {
    error = path.string() + ": too large for a measurement (" + std::to_string(size) + " bytes)";
    return std::nullopt;
  }
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) {
    error = path.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  const std::size_t read = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = path.string() + ": cannot be read";
    return std::nullopt;
  }
  text.resize(read);
  std::string why;
  auto response = Parse(text, why);
  if (!response) error = path.string() + ": " + why;
  return response;
}

std::optional<DriverResponse::Place> DriverResponse::Locate(double hz, double lnHz) const {
  if (!(hz >= LowestHz() && hz <= HighestHz())) return std::nullopt;
  const auto upper = std::upper_bound(points_.begin(), points_.end(), hz,
                                      [](double f, const Point& p) { return f < p.hz; });
  const std::size_t i = upper == points_.end()
                            ? points_.size() - 2
                            : static_cast<std::size_t>(std::distance(points_.begin(), upper)) - 1;
  return Place{i, (lnHz - logHz_[i]) / (logHz_[i + 1] - logHz_[i])};
}

std::optional<DriverResponse::Value> DriverResponse::At(double hz) const {
  const std::optional<Place> place = Locate(hz, std::log(hz));
  if (!place) return std::nullopt;
  const Point& a = points_[place->i];
  const Point& b = points_[place->i + 1];
  return Value{a.db + place->t * (b.db - a.db), a.degrees + place->t * (b.degrees - a.degrees)};
}

std::optional<ResponseValue> DriverResponse::ValueAt(double hz, double lnHz) const {
  const std::optional<Place> place = Locate(hz, lnHz);
  if (!place) return std::nullopt;
  const Point& a = points_[place->i];
  const Point& b = points_[place->i + 1];
  constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
  constexpr double kNepersPerDb = 0.11512925464970229;  // ln 10 / 20
  const double db = a.db + place->t * (b.db - a.db);
  const double degrees = a.degrees + place->t * (b.degrees - a.degrees);
  // Both are linear in ln f: d/df is the segment's slope over f.
  const double perHz = 1.0 / ((logHz_[place->i + 1] - logHz_[place->i]) * hz);
  return ResponseValue{std::polar(std::exp(db * kNepersPerDb), degrees * kRadiansPerDegree),
                       Complex((b.db - a.db) * kNepersPerDb * perHz,
                               (b.degrees - a.degrees) * kRadiansPerDegree * perHz)};
}

}  // namespace corvella::graph
