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

}  // namespace

PageCurves InputPageCurves(const ProgramParameters& p, int input) {
  const std::size_t c = ChannelIndex(input);
  PageCurves curves;
  curves.bandCount = kInputBands;
  for (std::size_t b = 0; b < kInputBands; ++b) {
    curves.bands[b] = BandCurve(p.inputPeq[b][c]);
    AddInto(curves.sum, curves.bands[b]);
  }
  return curves;
}

PageCurves OutputPageCurves(const ProgramParameters& p, int output,
                            const double crossover[kGraphPoints]) {
  const std::size_t c = ChannelIndex(output);
  PageCurves curves;
  curves.bandCount = kOutputBands;
  for (std::size_t b = 0; b < kOutputBands; ++b) {
    curves.bands[b] = BandCurve(p.outputPeq[b][c]);
    AddInto(curves.sum, curves.bands[b]);
  }
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
