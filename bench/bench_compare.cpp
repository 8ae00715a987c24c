// Comparing with the unit in real time, over a pseudo-terminal to the virtual unit: reading the
// unit's program aside (verify), and sending three differences then reading back (sync). Each is
// set against what a whole download plus a read-back would take by the protocol's timers.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "link/engine_timers.h"
#include "link/owner_queue.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "model/parameter_listing.h"
#include "sim/virtual_unit_host.h"

namespace corvella::link {
namespace {

using Clock = std::chrono::steady_clock;
// One transfer's timer bound: the program information (or handshake) and 33 blocks, 230 ms each.
constexpr double kTransferBoundMs = 34.0 * timers::kTransferStepMs;

class EndView : public LinkView {
 public:
  std::optional<Chain> lastChain;
  std::optional<Outcome> lastOutcome;
  // When the last block was read: the data to compare is complete; the closing "U00)" exchange
  // (up to 500 ms more) follows before the chain ends.
  std::optional<Clock::time_point> transferred;

  void SetStatusText(std::string_view text) override {
    if (text == kTransferOk) transferred = Clock::now();
  }
  BoxAnswer ShowMessageBox(const MessageBoxRequest&) override { return BoxAnswer::Ok; }
  void ShowRepairWarning() override {}
  void ShowSearchDialog() override {}
  void HideSearchDialog() override {}
  std::optional<SelectChoice> RunSelectDialog(const std::vector<FoundDevice>&) override {
    return SelectChoice{0, 0};
  }
  void ShowTransmittingDialog() override {}
  void HideTransmittingDialog() override {}
  void RepaintHeader() override {}
  void ReloadAllPages(ReloadForm) override {}
  void ShowProgramListLine(int, std::string_view, bool) override {}
  void ReleaseMouseCapture() override {}
  void ChainEnded(Chain chain, Outcome outcome, std::string_view) override {
    lastChain = chain;
    lastOutcome = outcome;
  }
};

struct Connected {
  sim::VirtualUnitHost host;
  OwnerQueue queue;
  SteadyTimerHost timers{queue};
  std::optional<SerialPort> port;
  Session session;
  EndView view;
  std::optional<ProtocolEngine> engine;

  bool Start() {
    std::string error;
    if (!host.Start(&error)) return false;
    port.emplace(queue, PortTable({host.SlavePath()}));
    ResetParameters(session.parameters);
    engine.emplace(session, *port, timers, view, 1);
    timers.SetClient(&*engine);
    engine->EnableCommunications();
    return Wait(Chain::Upload);
  }
  bool Wait(Chain chain) {
    return timers.RunUntil([&] { return view.lastChain == chain; }, 60'000) &&
           view.lastOutcome == Outcome::Done;
  }
  ~Connected() {
    if (port) port->Close();
  }
};

// ms the chain `start` begins takes to its typed end; nullopt when it failed.
template <typename Start>
std::optional<double> Time(Connected& c, Chain chain, Start start) {
  c.view.lastChain.reset();
  const auto begin = Clock::now();
  if (!start() || !c.Wait(chain)) return std::nullopt;
  return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

void BM_Verify(benchmark::State& state) {
  double ratio = 0;
  double chainRatio = 0;
  for (auto _ : state) {
    Connected c;
    if (!c.Start()) return state.SkipWithError("no connected unit");
    c.view.transferred.reset();
    const auto begin = Clock::now();
    const auto ms = Time(c, Chain::ReadUnit, [&] { return c.engine->ReadUnitProgram(); });
    if (!ms || !c.view.transferred) return state.SkipWithError("the read failed");
    const double read =
        std::chrono::duration<double, std::milli>(*c.view.transferred - begin).count();
    state.SetIterationTime(read / 1000.0);
    ratio += read / kTransferBoundMs;
    chainRatio += *ms / kTransferBoundMs;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["ratio_to_upload_bound"] = ratio / n;
  state.counters["chain_ratio_to_upload_bound"] = chainRatio / n;
  state.counters["ratio_to_download_and_verify"] = ratio / n / 2.0;
}

void BM_SyncThreeDifferences(benchmark::State& state) {
  double ratio = 0;
  for (auto _ : state) {
    Connected c;
    if (!c.Start()) return state.SkipWithError("no connected unit");
    ProgramParameters& pc = c.session.parameters;
    pc.crossover[1].hpfFrequency = 12;
    pc.outputPeq[2][0].gain = 30;
    pc.dynamics.ratio = 4;
    const std::vector<ParameterRef> edits = {{Field::HpfFrequency, 1, 0},
                                             {Field::OutputPeqGain, 0, 2},
                                             {Field::Ratio, 0, 0}};
    const auto send = Time(c, Chain::SendEdits, [&] { return c.engine->SendEdits(edits); });
    const auto read = Time(c, Chain::ReadUnit, [&] { return c.engine->ReadUnitProgram(); });
    if (!send || !read) return state.SkipWithError("the sync failed");
    const double ms = *send + *read;
    state.SetIterationTime(ms / 1000.0);
    ratio += ms / (2 * kTransferBoundMs);
  }
  state.counters["ratio_to_download_and_verify"] = ratio / static_cast<double>(state.iterations());
}

BENCHMARK(BM_Verify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SyncThreeDifferences)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace corvella::link

BENCHMARK_MAIN();
