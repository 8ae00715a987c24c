#include "graph/driver_response.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace corvella::graph {

DriverResponse DriverResponse::From(const Measurement& measurement) {
  DriverResponse response;
  response.hasPhase_ = measurement.hasPhase;
  response.points_.reserve(measurement.points.size());
  response.logHz_.reserve(measurement.points.size());
  for (const MeasurementPoint& point : measurement.points) {
    double phase = point.degrees;
    if (!response.points_.empty()) {
      // Unwrap: take the turn that puts this point within half a turn of the one before.
      const double previous = response.points_.back().degrees;
      phase -= 360.0 * std::round((phase - previous) / 360.0);
    }
    response.points_.push_back({point.hz, point.db, phase});
    response.logHz_.push_back(std::log(point.hz));
  }
  return response;
}

namespace {

std::optional<DriverResponse> FromRead(const MeasurementRead& read, std::string& error) {
  if (!read.measurement) {
    error = read.error;
    return std::nullopt;
  }
  return DriverResponse::From(*read.measurement);
}

}  // namespace

std::optional<DriverResponse> DriverResponse::Parse(std::string_view text, std::string& error) {
  return FromRead(ParseMeasurement(text), error);
}

std::optional<DriverResponse> DriverResponse::Load(const std::filesystem::path& path,
                                                   std::string& error) {
  return FromRead(LoadMeasurement(path), error);
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
