// Whole-program transfer in real time: the engine, the real serial port and the virtual unit on a
// pseudo-terminal, timed from the connect to "-> Program Data Transfered OK...". Every step waits
// one 230 ms tick before it looks at its answer, so the bound is 34 ticks (the program information
// or the "M00)" handshake, then 33 blocks); the "ratio" counter is the time over that bound.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "link/engine_timers.h"
#include "link/owner_queue.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella::link {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kBoundMs = 34.0 * timers::kTransferStepMs;

// Only the status line matters here: it carries the start and end marks.
class TimingView : public LinkView {
 public:
  std::optional<Clock::time_point> connected;
  std::optional<Clock::time_point> transferred;

  void SetStatusText(std::string_view text) override {
    if (text == kConnected) connected = Clock::now();
    if (text == kTransferOk && !transferred) transferred = Clock::now();
  }
  BoxAnswer ShowMessageBox(const MessageBoxRequest&) override { return BoxAnswer::Ok; }
  void ShowRepairWarning() override {}
  void ShowSearchDialog() override {}
  void HideSearchDialog() override {}
  std::optional<SelectChoice> RunSelectDialog(const std::vector<FoundDevice>&) override {
    return SelectChoice{0, direction};
  }
  void ShowTransmittingDialog() override {}
  void HideTransmittingDialog() override {}
  void RepaintHeader() override {}
  void ReloadAllPages(ReloadForm) override {}
  void ShowProgramListLine(int, std::string_view, bool) override {}
  void ReleaseMouseCapture() override {}

  int direction = 0;
};

void Transfer(benchmark::State& state, int direction) {
  double totalRatio = 0;
  for (auto _ : state) {
    sim::VirtualUnitHost host;
    std::string error;
    if (!host.Start(&error)) {
      state.SkipWithError(("no pseudo-terminal: " + error).c_str());
      return;
    }
    OwnerQueue queue;
    SteadyTimerHost timers(queue);
    SerialPort port(queue, PortTable({host.SlavePath()}));
    Session session;
    ResetParameters(session.parameters);
    TimingView view;
    view.direction = direction;
    ProtocolEngine engine(session, port, timers, view, 1);
    timers.SetClient(&engine);

    engine.EnableCommunications();
    const bool done = timers.RunUntil([&] { return view.transferred.has_value(); }, 30'000);
    port.Close();
    host.Stop();
    if (!done || !view.connected) {
      state.SkipWithError("the transfer did not finish");
      return;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(*view.transferred - *view.connected).count();
    state.SetIterationTime(ms / 1000.0);
    totalRatio += ms / kBoundMs;
  }
  state.counters["ratio"] = totalRatio / static_cast<double>(state.iterations());
  state.counters["bound_ms"] = kBoundMs;
}

void BM_Upload(benchmark::State& state) {
  Transfer(state, 0);
}
void BM_Download(benchmark::State& state) {
  Transfer(state, 1);
}

BENCHMARK(BM_Upload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Download)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace corvella::link

BENCHMARK_MAIN();
