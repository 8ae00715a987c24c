#include "model/measurement_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace corvella {

namespace {

// Beyond these the numbers are not a measurement; they would also lose all precision in any
// interpolation between points.
constexpr double kMaxAbsDb = 1000.0;
constexpr double kMaxAbsDegrees = 1.0e7;

// How the fields of a line are set apart, decided on the first point of the file.
enum class Layout {
  Blanks,     // runs of blanks or tabs, as text exports and FRD files write
  Commas,     // CSV: exactly one comma between fields, blanks around them ignored
  Semicolons  // European CSV: ';' between fields, ',' as the decimal mark
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view line, Layout layout) {
  std::vector<std::string_view> fields;
  if (layout == Layout::Blanks) {
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
  }
  const char delimiter = layout == Layout::Commas ? ',' : ';';
  std::size_t start = 0;
  while (true) {
    const std::size_t end = line.find(delimiter, start);
    fields.push_back(Trim(line.substr(start, end == std::string_view::npos ? end : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return fields;
}

// A whole field as a finite number; a leading '+' is allowed, as some exports write one.
std::optional<double> Number(std::string_view field, Layout layout) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty() || field.size() > 64) return std::nullopt;
  char buffer[64];
  std::copy(field.begin(), field.end(), buffer);
  if (layout == Layout::Semicolons) std::replace(buffer, buffer + field.size(), ',', '.');
  double value = 0.0;
  const char* end = buffer + field.size();
  const auto [ptr, ec] = std::from_chars(buffer, end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// A point's line begins like a number; anything else before the first point is a title or a
// header row.
bool LooksLikePoint(std::string_view line) {
  const char c = line.front();
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

Layout LayoutOf(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Layout::Semicolons;
  if (line.find(',') != std::string_view::npos) return Layout::Commas;
  return Layout::Blanks;
}

struct Columns {
  std::size_t hz = 0;
  std::size_t db = 1;
  std::optional<std::size_t> degrees;  // unset: the third column, when a line has one
  bool named = false;
};

std::string Lower(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '"' || c == '\'') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool Contains(const std::string& s, std::string_view part) {
  return s.find(part) != std::string::npos;
}

// The columns a header row names; nothing when it names no frequency column (a title line).
std::optional<Columns> NamedColumns(const std::vector<std::string_view>& header) {
  std::vector<std::string> names;
  for (std::string_view field : header) names.push_back(Lower(field));
  const auto find = [&](auto&& matches, std::optional<std::size_t> skip1 = std::nullopt,
                        std::optional<std::size_t> skip2 =
                            std::nullopt) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i != skip1 && i != skip2 && matches(names[i])) return i;
    }
    return std::nullopt;
  };
  const auto hz = find([](const std::string& n) {
    return Contains(n, "freq") || n == "f" || n == "hz" || n.starts_with("hz") ||
           n.starts_with("f(");
  });
  if (!hz) return std::nullopt;
  Columns columns;
  columns.named = true;
  columns.hz = *hz;
  columns.degrees =
      find([](const std::string& n) { return Contains(n, "phase") || Contains(n, "deg"); }, hz);
  const auto db = find(
      [](const std::string& n) {
        for (std::string_view word : {"spl", "raw", "db", "mag", "level", "ampl", "gain"}) {
          if (Contains(n, word)) return true;
        }
        return false;
      },
      hz, columns.degrees);
  const auto other = find([](const std::string&) { return true; }, hz, columns.degrees);
  if (!db && !other) return std::nullopt;
  columns.db = db ? *db : *other;
  return columns;
}

MeasurementRead Failure(std::size_t line, std::string_view what) {
  MeasurementRead read;
  read.line = line;
  read.error =
      line == 0 ? std::string(what) : "line " + std::to_string(line) + ": " + std::string(what);
  return read;
}

}  // namespace

MeasurementRead ParseMeasurement(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());

  Measurement m;
  std::optional<Layout> layout;
  std::string_view lastHeader;
  Columns columns;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == '*' || line.front() == '#' || line.front() == ';') continue;
    if (!layout) {
      if (!LooksLikePoint(line)) {
        lastHeader = line;
        continue;
      }
      layout = LayoutOf(line);
      if (!lastHeader.empty()) {
        if (auto named = NamedColumns(Split(lastHeader, *layout))) columns = *named;
      }
    }
    const std::vector<std::string_view> fields = Split(line, *layout);
    const auto field = [&](std::size_t i) -> std::optional<double> {
      return i < fields.size() ? Number(fields[i], *layout) : std::nullopt;
    };
    const std::optional<double> hz = field(columns.hz);
    if (!hz) {
      return Failure(lineNumber, LooksLikePoint(line)
                                     ? "the frequency is not a number"
                                     : "not a point: a line of frequency and level was expected");
    }
    if (*hz <= 0.0) return Failure(lineNumber, "the frequency must be above 0 Hz");
    const std::optional<double> db = field(columns.db);
    if (!db || std::fabs(*db) > kMaxAbsDb) {
      return Failure(lineNumber, "a frequency must be followed by a magnitude in dB");
    }
    const std::size_t phaseColumn = columns.degrees.value_or(2);
    std::optional<double> degrees;
    const bool phaseWritten = phaseColumn < fields.size() && !fields[phaseColumn].empty();
    if ((columns.named && columns.degrees && phaseWritten) || (!columns.named && phaseWritten)) {
      degrees = field(phaseColumn);
      if (!degrees || std::fabs(*degrees) > kMaxAbsDegrees) {
        return Failure(lineNumber, "the phase must be a number of degrees");
      }
    }
    if (m.points.empty()) {
      m.hasPhase = degrees.has_value();
    } else if (m.hasPhase != degrees.has_value()) {
      return Failure(lineNumber, m.hasPhase ? "the phase is missing"
                                            : "a phase where the lines above have none");
    }
    if (!m.points.empty() && *hz <= m.points.back().hz) {
      return Failure(lineNumber, "the frequencies must rise from line to line");
    }
    m.points.push_back({*hz, *db, degrees.value_or(0.0)});
  }
  if (m.points.size() < 2) {
    return Failure(
        0, "no measurement in it: at least two lines of frequency and magnitude are needed");
  }
  MeasurementRead read;
  read.measurement = std::move(m);
  return read;
}

MeasurementRead LoadMeasurement(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Failure(0, name + ": " + ec.message());
  if (size > kMaxMeasurementFileBytes) {
    return Failure(0, name + ": too large for a measurement (" + std::to_string(size) + " bytes)");
  }
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return Failure(0, name + ": " + std::strerror(errno));
  std::string text(static_cast<std::size_t>(size), '\0');
  const std::size_t read = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Failure(0, name + ": cannot be read");
  text.resize(read);
  MeasurementRead result = ParseMeasurement(text);
  if (!result.measurement) result.error = name + ": " + result.error;
  return result;
}

}  // namespace corvella
