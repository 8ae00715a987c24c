// The tuning history's costs on the whole window: the heap that 10,000 undo steps of page edits
// hold, and how long an A/B switch with five differences takes to reach the virtual unit on a
// pseudo-terminal (to the last frame the unit receives, and to the last answer).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <malloc.h>
#include <mutex>
#include <string>
#include <vector>

#include "app/qt/qt_owner_thread.h"
#include "app/tools/tuning_history.h"
#include "app/window/commands.h"
#include "app/window/main_view.h"
#include "app/window/main_window.h"
#include "link/serial_port.h"
#include "qt_bench_main.h"
#include "sim/demo_unit.h"
#include "sim/virtual_unit_host.h"

namespace {

using namespace corvella;
using Clock = std::chrono::steady_clock;

void WaitFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 2);
}

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// Ten thousand page edits as the pages make them (a value changed, then handed to the engine),
// each a step of its own: the parameters alternate, so none merges into the one before.
void BM_UndoStepsMemory(benchmark::State& state) {
  constexpr int kSteps = 10000;
  double bytes = 0.0;
  for (auto _ : state) {
    QtOwnerThread owner;
    link::SerialPort port(owner, link::PortTable(std::vector<std::string>{}));
    app::MainWindow frame(port, 1);
    app::MainView& view = *frame.view();
    ProgramParameters& p = view.session().parameters;
    const std::size_t before = HeapInUse();
    for (int i = 0; i < kSteps; ++i) {
      const int band = i % kOutputBands;
      const int output = (i / kOutputBands) % kOutputCount;
      PeqBand& b = p.outputPeq[band][output];
      b.gain = static_cast<std::uint8_t>((b.gain + 1) % 49);
      view.engine().SendEdit({Field::OutputPeqGain, output, band});
    }
    bytes = static_cast<double>(HeapInUse() - before);
    if (view.history().stack().count() != kSteps) {
      state.SkipWithError("the edits did not make one step each");
      return;
    }
  }
  state.counters["steps"] = kSteps;
  state.counters["heap_mb"] = bytes / 1e6;
  state.counters["bytes_per_step"] = bytes / kSteps;
}
BENCHMARK(BM_UndoStepsMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the unit received last, and when.
struct Traffic {
  std::mutex mutex;
  int edits = 0;
  Clock::time_point lastAt;
};

void BM_AbSwitchFiveDifferences(benchmark::State& state) {
  Traffic traffic;
  sim::VirtualUnitHost host({sim::MakeDemoUnit()});
  host.SetTrafficObserver([&traffic](sim::Traffic kind, std::string_view frame) {
    if (kind != sim::Traffic::Received || frame.find('$') == std::string_view::npos) return;
    const std::lock_guard lock(traffic.mutex);
    ++traffic.edits;
    traffic.lastAt = Clock::now();
  });
  if (!host.Start()) {
    state.SkipWithError("the virtual unit did not start");
    return;
  }
  QtOwnerThread owner;
  link::SerialPort port(owner, link::PortTable({host.SlavePath()}));
  app::MainWindow frame(port, 1);
  app::MainView& view = *frame.view();
  if (!port.Open(&view.engine(), 1, link::kBaud, link::kParity, link::kDataBits, link::kStopBits,
                 link::kEventMask, link::kWriteBufferSize) ||
      !port.StartMonitoring()) {
    state.SkipWithError("the port did not open");
    return;
  }
  view.session().link.linkConnected = 1;
  view.session().link.deviceId = sim::kDemoUnitId;
  host.WithUnit(0, [&view](sim::VirtualUnit& unit) { view.session().parameters = unit.Current(); });
  view.OnCommand(app::cmd::kStoreAsA);
  ProgramParameters& p = view.session().parameters;
  p.inputLevel[1] = static_cast<std::uint8_t>(p.inputLevel[1] - 4);
  p.outputLevel[0] = static_cast<std::uint8_t>(p.outputLevel[0] - 6);
  p.outputPeq[2][1].gain = static_cast<std::uint8_t>(p.outputPeq[2][1].gain + 2);
  p.crossover[1].hpfFrequency = static_cast<std::uint8_t>(p.crossover[1].hpfFrequency + 3);
  p.outputPhase[0] = static_cast<std::uint8_t>(1 - p.outputPhase[0]);
  view.ReloadAllPages(link::ReloadForm::FileLoad);
  view.OnCommand(app::cmd::kStoreAsB);

  double toLastFrameMs = 0.0;
  double toEndMs = 0.0;
  int switches = 0;
  for (auto _ : state) {
    WaitFor(100);
    {
      const std::lock_guard lock(traffic.mutex);
      traffic.edits = 0;
    }
    const Clock::time_point start = Clock::now();
    view.OnCommand(app::cmd::kSwitchAb);
    QElapsedTimer limit;
    limit.start();
    while (view.engine().ChainRunning() && limit.elapsed() < 20000) WaitFor(1);
    const Clock::time_point end = Clock::now();
    const std::lock_guard lock(traffic.mutex);
    if (view.engine().ChainRunning() || traffic.edits != 5) {
      state.SkipWithError("the switch did not send exactly the five differences");
      return;
    }
    toLastFrameMs += std::chrono::duration<double, std::milli>(traffic.lastAt - start).count();
    toEndMs += std::chrono::duration<double, std::milli>(end - start).count();
    ++switches;
  }
  state.counters["to_last_frame_ms"] = toLastFrameMs / switches;
  state.counters["to_last_answer_ms"] = toEndMs / switches;
}
BENCHMARK(BM_AbSwitchFiveDifferences)
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return corvella::bench::RunWithQt(argc, argv);
}
