// Whole-program transfer in real time: the engine, the real serial port and the virtual unit on a
// pseudo-terminal, timed from the connect to "-> Program Data Transfered OK...". In the default
// mode every step waits one 230 ms tick before it looks at its answer, so the bound is 34 ticks
// (the program information or the "M00)" handshake, then 33 blocks); the "ratio" counter is the
// time over that bound.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>
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

  // What crossed the line, as the unit saw it: each frame when it was in, each answer when it
  // began to go out.
  struct Passage {
    Clock::time_point at;
    sim::Traffic direction;
    std::size_t chars;
  };
  std::mutex trafficLock;
  std::vector<Passage> traffic;

  // The line time of the exchanges whose answer went out between `from` and `to`: the request's
  // characters and the answer's, at 9600 baud 8N2.
  double ExchangedLineMs(Clock::time_point from, Clock::time_point to) {
    const std::lock_guard<std::mutex> lock(trafficLock);
    std::size_t chars = 0;
    std::size_t request = 0;
    for (const Passage& p : traffic) {
      if (p.direction == sim::Traffic::Received) {
        request = p.chars;
      } else if (p.at >= from && p.at <= to) {
        chars += request + p.chars;
      }
    }
    return 1000.0 * static_cast<double>(chars) / sim::kLineCharsPerSecond;
  }

  bool Start(Route route, std::string& error, bool lineRate = false) {
    host.SetLineRate(lineRate);
    host.SetTrafficObserver([this](sim::Traffic direction, std::string_view text) {
      const std::lock_guard<std::mutex> lock(trafficLock);
      traffic.push_back({Clock::now(), direction, text.size()});
    });
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

// The transfer's line: the default pseudo-terminal delivers at once; at line rate it takes the
// 9600-baud time of every character, and the transfer is then also weighed against that time.
struct Mode {
  bool lineRate = false;
  bool fast = false;
};

void Transfer(benchmark::State& state, int direction, Route route = Route::Pty, Mode mode = {}) {
  double totalRatio = 0;
  double totalLineRatio = 0;
  double totalLineMs = 0;
  for (auto _ : state) {
    UnitLine line;
    std::string error;
    if (!line.Start(route, error, mode.lineRate)) {
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
    engine.SetFastTransfer(mode.fast);
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
    const double lineMs = line.ExchangedLineMs(*view.connected, *view.transferred);
    totalLineMs += lineMs;
    totalLineRatio += ms / lineMs;
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["ratio"] = totalRatio / runs;
  state.counters["bound_ms"] = kBoundMs;
  if (mode.lineRate) {
    state.counters["line_ratio"] = totalLineRatio / runs;
    state.counters["line_ms"] = totalLineMs / runs;
  }
}

void BM_Upload(benchmark::State& state) {
  Transfer(state, 0);
}
void BM_Download(benchmark::State& state) {
  Transfer(state, 1);
}

BENCHMARK(BM_Upload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Download)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The virtual unit at line rate, in both modes: "line_ratio" is the transfer's time over the line
// time of the frames it exchanged (both directions, 11 bits a character at 9600 baud).
void BM_UploadAtLineRate(benchmark::State& state) {
  Transfer(state, 0, Route::Pty, {true, false});
}
void BM_DownloadAtLineRate(benchmark::State& state) {
  Transfer(state, 1, Route::Pty, {true, false});
}
void BM_FastUploadAtLineRate(benchmark::State& state) {
  Transfer(state, 0, Route::Pty, {true, true});
}
void BM_FastDownloadAtLineRate(benchmark::State& state) {
  Transfer(state, 1, Route::Pty, {true, true});
}
BENCHMARK(BM_UploadAtLineRate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DownloadAtLineRate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FastUploadAtLineRate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FastDownloadAtLineRate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

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
