// Assembly of a page's curves from the band and crossover responses.
#include "graph/page_curves.h"

#include <algorithm>

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

}  // namespace corvella::graph
