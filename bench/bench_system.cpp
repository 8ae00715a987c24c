// The system response after one edit: every curve of both outputs and their sum (magnitude,
// phase, group delay) on 512 points with measured drivers under both, and the window's chart panes
// taking the new curves and repainting.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <array>
#include <string>

#include "graph/chart/system_chart_panes.h"
#include "graph/driver_response.h"
#include "graph/system_response.h"
#include "qt_bench_main.h"

namespace {

using namespace corvella;

// Every block in use: two input bands, six bands per output, both filters on both outputs.
ProgramParameters Busiest() {
  ProgramParameters p{};
  ResetParameters(p);
  for (std::size_t b = 0; b < kInputBands; ++b) {
    p.inputPeq[b][1] = {1, static_cast<std::uint8_t>(30 + 40 * b), 30, 30};
  }
  const std::uint8_t frequencies[kOutputBands] = {20, 40, 60, 75, 90, 105};
  for (std::size_t b = 0; b < kOutputBands; ++b) {
    for (std::size_t o = 0; o < 2; ++o) {
      p.outputPeq[b][o] = {static_cast<std::uint8_t>(1 + (b % 5)), frequencies[b], 30, 40};
    }
  }
  p.crossover[0] = {11, 81, 4, 118};
  p.crossover[1] = {9, 5, 11, 81};
  p.outputDelay[0] = 40;
  return p;
}

// A measurement as programs export it: 1/24 octave from 10 Hz to 24 kHz with phase.
graph::DriverResponse Driver(double lagMs) {
  std::string text = "Freq(Hz)\tSPL(dB)\tPhase(deg)\n";
  for (double f : graph::FractionalOctaveGrid(10.0, 24000.0, 24)) {
    text += std::to_string(f) + "\t" + std::to_string(85.0 + (f > 5000.0 ? 2.0 : 0.0)) + "\t" +
            std::to_string(-360.0 * f * lagMs / 1000.0) + "\n";
  }
  std::string error;
  return *graph::DriverResponse::Parse(text, error);
}

struct Scene {
  ProgramParameters p = Busiest();
  graph::DriverResponse high = Driver(0.1);
  graph::DriverResponse low = Driver(0.4);
  graph::SystemSetup setup{Input::Line, &high, &low};
  graph::SystemGrid grid{setup, graph::LogGrid(10.0, 24000.0, 512)};

  // One edit, as a page makes it: a band's gain a step up or down.
  graph::SystemCurves AfterEdit(std::size_t step) {
    p.outputPeq[2][0].gain = static_cast<std::uint8_t>(30 + (step & 1));
    return graph::ComputeSystemCurves(p, setup.input, grid);
  }
};

// One edit and every curve after it, with measured drivers under both outputs or without.
void BM_SystemCurves(benchmark::State& state, bool drivers) {
  Scene scene;
  if (!drivers) scene.grid = graph::SystemGrid({}, scene.grid.hz);
  std::size_t step = 0;
  for (auto _ : state) {
    const graph::SystemCurves curves = scene.AfterEdit(step++);
    benchmark::DoNotOptimize(curves.sum.groupDelayMs.data());
  }
}
BENCHMARK_CAPTURE(BM_SystemCurves, MeasuredDrivers, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SystemCurves, Electrical, false)->Unit(benchmark::kMicrosecond);

// The panes at the window's size take an edit's curves and repaint, the chart's layout included.
void BM_SystemPanesRepaint(benchmark::State& state) {
  Scene scene;
  const std::array<graph::SystemCurves, 2> curves = {scene.AfterEdit(0), scene.AfterEdit(1)};
  graph::chart::SystemChartPanes panes;
  panes.setAttribute(Qt::WA_DontShowOnScreen);
  panes.resize(940, 620);
  panes.show();
  panes.SetCurves(curves[0]);
  QApplication::processEvents();
  std::size_t step = 0;
  for (auto _ : state) {
    panes.SetCurves(curves[++step & 1]);
    QApplication::processEvents();
    panes.repaint();
  }
}
BENCHMARK(BM_SystemPanesRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return corvella::bench::RunWithQt(argc, argv);
}
