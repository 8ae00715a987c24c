// Whole-program transfer in real time: the engine, the real serial port and the virtual unit on a
// pseudo-terminal, timed from the connect to "-> Program Data Transfered OK...". Every step waits
// one 230 ms tick before it looks at its answer, so the bound is 34 ticks (the program information
// or the "M00)" handshake, then 33 blocks); the "ratio" counter is the time over that bound.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "link/engine_timers.h"
#include "link/owner_queue.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "net/ser2net_host.h"
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

// How the program reaches the virtual unit: its pseudo-terminal, or ser2net on loopback in front
// of it (raw TCP or Telnet with RFC 2217).
enum class Route { Pty, Raw, Telnet };

struct UnitLine {
  sim::VirtualUnitHost host;
  test::Ser2net server;
  std::filesystem::path dir;
  std::string path;  // the port table entry

  bool Start(Route route, std::string& error) {
    if (!host.Start(&error)) return false;
    if (route == Route::Pty) {
      path = host.SlavePath();
      return true;
    }
    dir = std::filesystem::temp_directory_path() / ("corvella_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    if (!server.Start(host.SlavePath(), dir)) {
      error = server.Error();
      return false;
    }
    path = route == Route::Raw ? server.RawUrl() : server.TelnetUrl();
    return true;
  }
  ~UnitLine() {
    server.Stop();
    host.Stop();
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
};

void Transfer(benchmark::State& state, int direction, Route route = Route::Pty) {
  double totalRatio = 0;
  for (auto _ : state) {
    UnitLine line;
    std::string error;
    if (!line.Start(route, error)) {
      state.SkipWithError(("no line to the unit: " + error).c_str());
      return;
    }
    OwnerQueue queue;
    SteadyTimerHost timers(queue);
    SerialPort port(queue, PortTable({line.path}));
    Session session;
    ResetParameters(session.parameters);
    TimingView view;
    view.direction = direction;
    ProtocolEngine engine(session, port, timers, view, 1);
    timers.SetClient(&engine);

    engine.EnableCommunications();
    const bool done = timers.RunUntil([&] { return view.transferred.has_value(); }, 30'000);
    port.Close();
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

// The same upload through ser2net on the loopback address.
void BM_UploadOverSer2netRaw(benchmark::State& state) {
  Transfer(state, 0, Route::Raw);
}
void BM_UploadOverSer2netTelnet(benchmark::State& state) {
  Transfer(state, 0, Route::Telnet);
}
BENCHMARK(BM_UploadOverSer2netRaw)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_UploadOverSer2netTelnet)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// From a probe handed to the port to the last byte of the unit's answer on the owner's thread;
// the argument is the route (0 pseudo-terminal, 1 ser2net raw, 2 ser2net Telnet).
struct AnswerCounter : PortEvents {
  void OnPortByte(int, std::uint8_t byte) override {
    if (byte == ')') {
      ++answers;
      arrived = Clock::now();
    }
  }
  void OnPortFailure(int, const std::string&) override { ++failures; }
  void OnPortLost(int) override { ++failures; }
  int answers = 0;
  int failures = 0;
  Clock::time_point arrived;
};

void BM_AnswerLatency(benchmark::State& state) {
  UnitLine line;
  std::string error;
  if (!line.Start(static_cast<Route>(state.range(0)), error)) {
    state.SkipWithError(("no line to the unit: " + error).c_str());
    return;
  }
  OwnerQueue queue;
  AnswerCounter counter;
  SerialPort port(queue, PortTable({line.path}));
  if (!port.Open(&counter, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                 kWriteBufferSize) ||
      !port.StartMonitoring()) {
    state.SkipWithError("the port did not open");
    return;
  }
  std::vector<double> micros;
  for (auto _ : state) {
    const int before = counter.answers;
    const Clock::time_point sent = Clock::now();
    if (!port.WriteToPort("(01X)") ||
        !queue.RunUntil([&] { return counter.answers > before; }, 5000)) {
      state.SkipWithError("no answer");
      return;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(counter.arrived - sent).count());
  }
  port.Close();
  std::nth_element(micros.begin(), micros.begin() + static_cast<std::ptrdiff_t>(micros.size() / 2),
                   micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["failures"] = counter.failures;
}
BENCHMARK(BM_AnswerLatency)->Arg(0)->Arg(1)->Arg(2)->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvella::link

BENCHMARK_MAIN();
