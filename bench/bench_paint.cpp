// Cost of redrawing an equaliser graph: the output page's whole pass (crossover, six bands, sum,
// painted into the page's picture), and the steps per second a dragged spinner sustains on the
// real page, graph and repaint included.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <vector>

#include "graph/crossover_response.h"
#include "graph/page_curves.h"
#include "graph/paint/graph_background.h"
#include "graph/paint/graph_painter.h"
#include "pages/output_peq_page.h"
#include "pages/page_decor.h"
#include "pages/spin_bar.h"
#include "support/page_harness.h"
#include "qt_bench_main.h"

namespace {

using namespace corvella;

// Six peaking bands and a crossover with both filters on: the most an output page draws.
void MakeBusiest(ProgramParameters& p) {
  ResetParameters(p);
  const std::uint8_t frequencies[kOutputBands] = {20, 40, 60, 75, 90, 105};
  for (std::size_t b = 0; b < kOutputBands; ++b) {
    p.outputPeq[b][0] = {1, frequencies[b], static_cast<std::uint8_t>(30 + b), 40};
  }
  p.crossover[0] = {7, 25, 4, 110};
}

void BM_OutputGraphRepaint(benchmark::State& state) {
  ProgramParameters p{};
  MakeBusiest(p);
  const QImage background = graph::paint::MakeGraphBackground();
  QImage picture(graph::kGraphWidth, graph::kGraphHeight, QImage::Format_RGB32);
  graph::CrossoverResponse shared;
  std::vector<PeqBand> bands;
  for (const auto& band : p.outputPeq) bands.push_back(band[0]);
  for (auto _ : state) {
    graph::ComputeCrossover(p.crossover[0], shared.db[0]);
    const graph::PageCurves curves = graph::OutputPageCurves(p, 0, shared.db[0]);
    QPainter painter(&picture);
    graph::paint::DrawPeqGraph(painter, background, bands, curves, 2, graph::kOutputPixelsPerDb,
                               graph::paint::kYellowPen);
    painter.end();
    benchmark::DoNotOptimize(picture.constBits());
  }
}
BENCHMARK(BM_OutputGraphRepaint)->Unit(benchmark::kMicrosecond);

// One step of a dragged frequency spinner on the shown output page: store, recompute and draw the
// graph, send (connected, into a recording port), and let the window repaint what changed.
void BM_SpinnerDragStep(benchmark::State& state) {
  pages::testing::PageHarness h;
  MakeBusiest(h.session.parameters);
  auto* page = new pages::OutputPeqPage(h.context, &h.window);
  page->LoadChannel(0);
  h.window.show();
  QApplication::processEvents();
  auto* bar = page->ControlAs<pages::SpinBar>(pages::kOutputFrequencyBar);
  bool up = true;
  for (auto _ : state) {
    if (bar->value() == 0) up = false;
    if (bar->value() == bar->maximum()) up = true;
    bar->triggerAction(up ? QAbstractSlider::SliderSingleStepSub
                          : QAbstractSlider::SliderSingleStepAdd);
    QApplication::processEvents();
    h.port.frames.clear();
  }
  state.counters["steps_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpinnerDragStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return corvella::bench::RunWithQt(argc, argv);
}
