// The stepped EQ fit of one stage from a measurement: the whole search (continuous fit, walk over
// the unit's steps, shelves) on loudspeaker-like measurements with narrow peaks and dips. The
// counters give the residual RMS before and after (dB) for the same runs.
#include <benchmark/benchmark.h>

#include <string>

#include "graph/stepped_eq_fit.h"
#include "graph/synthetic_measurement.h"

namespace {

using namespace corvella;

graph::FitTarget Target(std::uint32_t seed) {
  std::string error;
  return *graph::SmoothedOnGrid(test::LoudspeakerLike(seed, 10), {}, error);
}

void BM_FitStage(benchmark::State& state) {
  const int bands = static_cast<int>(state.range(0));
  std::vector<graph::FitTarget> targets;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) targets.push_back(Target(seed));
  std::size_t i = 0;
  double before = 0.0;
  double after = 0.0;
  for (auto _ : state) {
    const graph::StageFit fit = graph::FitStage(targets[i % targets.size()], bands, 6.0);
    before += fit.before.rmsDb;
    after += fit.after.rmsDb;
    ++i;
    benchmark::DoNotOptimize(fit);
  }
  state.counters["before_rms_db"] = before / static_cast<double>(i);
  state.counters["after_rms_db"] = after / static_cast<double>(i);
}
BENCHMARK(BM_FitStage)->Arg(6)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(16);

}  // namespace

BENCHMARK_MAIN();
