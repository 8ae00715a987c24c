// Magnitude of the parametric-equaliser bands: each band an analogue second-order section,
// evaluated on the graph's points, and the sum of a channel's bands in dB.
#pragma once

#include <cstdint>
#include <span>

#include "graph/graph_frame.h"
#include "model/program_parameters.h"

namespace corvella::graph {

enum class BandType : std::uint8_t { None = 0, Peaking, Bandpass, HiShelf, LoShelf, Notch };

// A band's constants, worked out once for all points. Codes outside their ranges are held to
// the nearest valid entry (frequency code 0 is point 0, 20 Hz; code 200 is the last point); a
// type outside 0..5 has no response, like None. The gain rule is applied as stored.
struct PreparedBand {
  BandType type = BandType::None;
  double fc = 1000.0;  // Hz
  double a = 1.0;      // 10^(G/40)
  double q = 1.0;

  static PreparedBand From(const PeqBand& band);
  double ResponseDb(double f) const;
};

// The response of one band in dB at f Hz.
double BandResponseDb(const PeqBand& band, double f);

// The band at all 122 points of GraphFrequencyList.
Curve BandCurve(const PeqBand& band);

// Column of a band's centre marker: its frequency code's point, or point 0 (off the graph) for
// a band that has no response.
int BandMarkerX(const PeqBand& band);

// The sum in dB of the given bands at every point.
Curve SumOfBands(std::span<const PeqBand> bands);

}  // namespace corvella::graph
