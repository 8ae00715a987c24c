// A loudspeaker driver's measured response (a measurement file, see model/measurement_file.h) as a
// complex gain at any frequency within the measured range.
#pragma once

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph/response_value.h"
#include "model/measurement_file.h"

namespace corvella::graph {

class DriverResponse {
 public:
  struct Point {
    double hz;
    double db;
    double degrees;  // unwrapped: consecutive points differ by at most 180 degrees
  };

  // The measurement with its phase unwrapped.
  static DriverResponse From(const Measurement& measurement);
  // The measurement file's text or file, read by ParseMeasurement / LoadMeasurement; on failure
  // `error` is theirs.
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
