// Arbitrary bytes as a measurement file: either an error that names a line inside the text (or the
// file as a whole), or points that rise in frequency with finite values; what is accepted is read
// back the same from its own plain rewriting, and a file's line endings never change the result.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "model/measurement_file.h"

namespace {

using corvella::fuzz::Require;
using namespace corvella;

std::size_t LineCount(std::string_view text) {
  std::size_t lines = text.empty() ? 0 : 1;
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '\n') ++lines;
  return lines;
}

std::string Rewritten(const Measurement& m) {
  std::string text = "* Freq(Hz) SPL(dB) Phase(degrees)\n";
  char line[128];
  for (const MeasurementPoint& p : m.points) {
    if (m.hasPhase) {
      std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", p.hz, p.db, p.degrees);
    } else {
      std::snprintf(line, sizeof line, "%.17g\t%.17g\n", p.hz, p.db);
    }
    text += line;
  }
  return text;
}

bool SamePoints(const Measurement& a, const Measurement& b) {
  if (a.hasPhase != b.hasPhase || a.points.size() != b.points.size()) return false;
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    const MeasurementPoint& p = a.points[i];
    const MeasurementPoint& q = b.points[i];
    if (p.hz != q.hz || p.db != q.db || p.degrees != q.degrees) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const MeasurementRead read = ParseMeasurement(text);

  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const MeasurementRead again = ParseMeasurement(crlf);
  Require(again.measurement.has_value() == read.measurement.has_value());
  Require(again.line == read.line);

  if (!read.measurement) {
    Require(!read.error.empty());
    Require(read.line <= LineCount(text));
    return 0;
  }
  Require(SamePoints(*read.measurement, *again.measurement));
  const Measurement& m = *read.measurement;
  Require(m.points.size() >= 2);
  for (std::size_t i = 0; i < m.points.size(); ++i) {
    const MeasurementPoint& p = m.points[i];
    Require(std::isfinite(p.hz) && p.hz > 0.0 && std::isfinite(p.db) && std::isfinite(p.degrees));
    Require(m.hasPhase || p.degrees == 0.0);
    if (i > 0) Require(p.hz > m.points[i - 1].hz);
  }
  const MeasurementRead plain = ParseMeasurement(Rewritten(m));
  Require(plain.measurement.has_value() && SamePoints(*plain.measurement, m));
  return 0;
}
