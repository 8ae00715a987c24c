// Cost of the response curves a page computes on every redraw.
#include <benchmark/benchmark.h>

#include "graph/crossover_response.h"
#include "graph/page_curves.h"
#include "model/program_parameters.h"

namespace {

using namespace corvella;

// Six peaking bands and a crossover with both filters on: the most an output page computes.
ProgramParameters BusiestOutput() {
  ProgramParameters p{};
  ResetParameters(p);
  const std::uint8_t frequencies[kOutputBands] = {20, 40, 60, 75, 90, 105};
  for (std::size_t b = 0; b < kOutputBands; ++b) {
    p.outputPeq[b][0] = {1, frequencies[b], static_cast<std::uint8_t>(30 + b), 40};
  }
  p.crossover[0] = {7, 25, 4, 110};  // -24 dB Bessel high-pass, -36 dB Butterworth low-pass
  return p;
}

void BM_OutputPageCurves(benchmark::State& state) {
  const ProgramParameters p = BusiestOutput();
  for (auto _ : state) {
    graph::PageCurves curves = graph::OutputPageCurves(p, 0);
    benchmark::DoNotOptimize(curves);
  }
}
BENCHMARK(BM_OutputPageCurves);

void BM_CrossoverCurve(benchmark::State& state) {
  const ProgramParameters p = BusiestOutput();
  graph::CrossoverResponse shared;
  for (auto _ : state) {
    graph::ComputeCrossover(p.crossover[0], shared.db[0]);
    benchmark::DoNotOptimize(shared.db[0][60]);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CrossoverCurve);

}  // namespace

BENCHMARK_MAIN();
