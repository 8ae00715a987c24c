// Magnitude of an output's crossover (high-pass plus low-pass term) on the graph's points.
#pragma once

#include <optional>

#include "graph/graph_frame.h"
#include "model/program_parameters.h"

namespace corvella::graph {

// Filter types 0..11 as the crossover page lists them.
inline constexpr int kCrossoverTypeCount = 12;
enum class FilterFamily { Butterworth, Bessel, LinkwitzRiley };
struct FilterKind {
  FilterFamily family;
  int order;  // 2..6
};
// Types 0..4 Butterworth of order 2..6, 5..9 Bessel of order 2..6, 10 and 11 Linkwitz-Riley of
// order 2 and 4. A type outside 0..11 has no kind.
std::optional<FilterKind> KindOfType(int type);

// K_N of a Bessel filter of order 2..6: the factor on frequency that puts its -3.01 dB point at
// the cut-off.
double BesselFrequencyScale(int order);

// One filter term in dB at normalised frequency x (f / fc for a low-pass, fc / f for a high-pass).
// Butterworth and Bessel give -3.01 dB at x = 1, Linkwitz-Riley -6.02 dB. A type outside 0..11
// contributes 0 dB.
double FilterTermDb(int type, double x);

// The crossover responses of both outputs in dB, shared by the pages that draw an output.
struct CrossoverResponse {
  double db[kOutputCount][kGraphPoints] = {};
};

// The response of one crossover at every point. A filter that is off adds 0 dB; so does a
// cut-off code outside the scale (hpfFrequency above 121, lpfFrequency 0 or above 122), which is
// taken as Off, the value the repair gives it.
void ComputeCrossover(const CrossoverSettings& settings, double out[kGraphPoints]);
Curve ComputeCrossover(const CrossoverSettings& settings);

// Where the crossover page puts its cut-off markers, given the response's rows: the column of the
// cut-off code (the high-pass Off code 0 is point 0, off the left edge; the low-pass Off code 122
// is column 590, off the right edge) and the row of the tick across it (row 56 for a low-pass
// that is off).
struct CrossoverMarkers {
  int hpfX;
  int hpfRow;
  int lpfX;
  int lpfRow;
};
inline constexpr int kLpfOffMarkerX = 590;
CrossoverMarkers MarkersFor(const CrossoverSettings& settings, const Rows& rows);

}  // namespace corvella::graph
