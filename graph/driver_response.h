// A loudspeaker driver's measured response, read from the text files measurement programs export:
// one point per line, frequency in Hz, magnitude in dB and optionally phase in degrees.
#pragma once

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph/response_value.h"

namespace corvella::graph {

// Bigger than any export of a measurement (a few hundred kilobytes at most); a larger file is
// refused before it is read rather than held in memory.
inline constexpr std::size_t kMaxDriverFileBytes = 16u * 1024u * 1024u;

class DriverResponse {
 public:
  struct Point {
    double hz;
    double db;
    double degrees;  // unwrapped: consecutive points differ by at most 180 degrees
  };

  // The points of a file's text. Lines that start with '*', '#' or ';', blank lines and lines
  // whose first field is not a number (column headers) are passed over. Every other line must
  // hold a frequency above zero, a magnitude and, on every line or on none, a phase, separated
  // by spaces, tabs, commas or semicolons; further columns are ignored. Frequencies must rise
  // from line to line, and there must be at least two points. On failure `error` names the line
  // and what is wrong with it.
  static std::optional<DriverResponse> Parse(std::string_view text, std::string& error);
  static std::optional<DriverResponse> Load(const std::filesystem::path& path, std::string& error);

  const std::vector<Point>& Points() const { return points_; }
  bool HasPhase() const { return hasPhase_; }
  double LowestHz() const { return points_.front().hz; }
  double HighestHz() const { return points_.back().hz; }

  // Magnitude in dB and unwrapped phase in degrees at f, each interpolated linearly on a
  // logarithmic frequency axis; nothing outside the measured range. A file without phase gives
  // 0 degrees throughout.
  struct Value {
    double db;
    double degrees;
  };
  std::optional<Value> At(double hz) const;
  // The same as a complex gain, with the slope of its logarithm (the interpolation's own slope).
  // lnHz is ln hz, when the caller has it already.
  std::optional<ResponseValue> ValueAt(double hz) const { return ValueAt(hz, std::log(hz)); }
  std::optional<ResponseValue> ValueAt(double hz, double lnHz) const;

 private:
  // The segment [i, i + 1] that holds hz (the last one for the top end), and hz's place in it.
  struct Place {
    std::size_t i;
    double t;
  };
  std::optional<Place> Locate(double hz, double lnHz) const;

  std::vector<Point> points_;
  std::vector<double> logHz_;
  bool hasPhase_ = false;
};

}  // namespace corvella::graph
