// Arbitrary bytes as a measured driver's file: either a clear error, or a curve whose points rise
// in frequency, whose values are finite and whose interpolation stays between its neighbours; the
// system view and the alignment score must take whatever the reader accepts.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "graph/alignment.h"
#include "graph/driver_response.h"
#include "graph/system_response.h"

namespace {

using corvella::fuzz::Require;
using namespace corvella;
using namespace corvella::graph;

void CheckCurve(const DriverResponse& d) {
  const auto& points = d.Points();
  Require(points.size() >= 2);
  for (std::size_t i = 0; i < points.size(); ++i) {
    Require(std::isfinite(points[i].hz) && points[i].hz > 0.0);
    Require(std::isfinite(points[i].db) && std::isfinite(points[i].degrees));
    if (i > 0) {
      Require(points[i].hz > points[i - 1].hz);
      Require(std::fabs(points[i].degrees - points[i - 1].degrees) <= 180.0 + 1e-6);
    }
  }
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const double f = std::sqrt(points[i].hz * points[i + 1].hz);
    const auto v = d.At(f);
    Require(v.has_value());
    const double lo = std::min(points[i].db, points[i + 1].db);
    const double hi = std::max(points[i].db, points[i + 1].db);
    Require(v->db >= lo - 1e-6 * (1.0 + std::fabs(lo)) &&
            v->db <= hi + 1e-6 * (1.0 + std::fabs(hi)));
    if (i >= 64) break;  // enough to check the search; long files would only slow the run
  }
  Require(!d.At(points.front().hz * 0.5).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto driver = DriverResponse::Parse(text, error);
  if (!driver) {
    Require(!error.empty());
    return 0;
  }
  CheckCurve(*driver);

  ProgramParameters p{};
  p.inputLevel[1] = p.outputLevel[0] = p.outputLevel[1] = 181;
  p.crossover[0] = {11, 69, 0, kLpfOff};
  p.crossover[1] = {0, kHpfOff, 11, 69};
  SystemSetup setup;
  setup.highDriver = &*driver;
  const SystemCurves curves = ComputeSystemCurves(p, setup, LogGrid(10.0, 24000.0, 64));
  for (std::size_t k = 0; k < curves.hz.size(); ++k) {
    // Drawn or not, the sum is drawn exactly where HIGH is (LOW has no driver).
    Require(std::isnan(curves.sum.db[k]) == std::isnan(curves.high.db[k]));
    if (!std::isnan(curves.high.db[k]))
      Require(curves.high.degrees[k] >= -180.0 && curves.high.degrees[k] <= 180.0);
  }
  Require(!SystemCsvText(curves).empty());
  (void)ScoreAlignment(p, setup, error);
  return 0;
}
