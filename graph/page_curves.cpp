// Assembly of a page's curves from the band and crossover responses.
#include "graph/page_curves.h"

#include <algorithm>
#include <cstdio>

#include "graph/peq_response.h"
#include "model/scales.h"

namespace corvella::graph {

namespace {

std::size_t ChannelIndex(int channel) {
  return channel <= 0 ? 0u : 1u;
}

void AddInto(Curve& sum, const Curve& term) {
  for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += term[k];
}

// The bands of one channel of a band-major table, and their sum.
template <std::size_t Bands>
PageCurves BandCurves(const PeqBand (&table)[Bands][2], std::size_t channel) {
  PageCurves curves;
  curves.bandCount = static_cast<int>(Bands);
  for (std::size_t b = 0; b < Bands; ++b) {
    curves.bands[b] = BandCurve(table[b][channel]);
    AddInto(curves.sum, curves.bands[b]);
  }
  return curves;
}

}  // namespace

PageCurves InputPageCurves(const ProgramParameters& p, int input) {
  return BandCurves(p.inputPeq, ChannelIndex(input));
}

PageCurves OutputPageCurves(const ProgramParameters& p, int output,
                            const double crossover[kGraphPoints]) {
  const std::size_t c = ChannelIndex(output);
  PageCurves curves = BandCurves(p.outputPeq, c);
  std::copy_n(crossover, kGraphPoints, curves.crossover.begin());
  curves.crossoverIncluded = !IsCrossoverOff(p.crossover[c]);
  if (curves.crossoverIncluded) AddInto(curves.sum, curves.crossover);
  return curves;
}

PageCurves OutputPageCurves(const ProgramParameters& p, int output) {
  const Curve crossover = ComputeCrossover(p.crossover[ChannelIndex(output)]);
  return OutputPageCurves(p, output, crossover.data());
}

namespace {

std::string HzText(double hz) {
  char text[32];
  if (hz >= 1000.0) {
    std::snprintf(text, sizeof text, "%.3g kHz", hz / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%.3g Hz", hz);
  }
  return text;
}

std::string DbText(double db) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f dB", db);
  return text;
}

}  // namespace

std::string ResponseSummary(const Curve& db) {
  // Within a twentieth of a decibel nothing is drawn apart on the graph either.
  constexpr double kFlat = 0.05;
  const auto [low, high] = std::minmax_element(db.begin(), db.end());
  if (*high - *low < kFlat) return "flat at " + DbText(*high);
  const auto at = [&db](Curve::const_iterator point) {
    return HzText(GraphFrequencyList[static_cast<std::size_t>(point - db.begin())]);
  };
  const std::string boost =
      *high > kFlat ? "largest boost " + DbText(*high) + " at " + at(high) : "no boost";
  const std::string cut =
      *low < -kFlat ? "largest cut " + DbText(*low) + " at " + at(low) : "no cut";
  return boost + ", " + cut;
}

}  // namespace corvella::graph
