// A whole installation backed up at once: corvella-cli fleet backup against lines of virtual
// units on pseudo-terminals (two units per line), timed from start to exit. Every unit's upload
// waits 34 ticks of 230 ms, so two units on a line bound a line at 2 x 34 x 230 ms; the "ratio"
// counter is the time over that bound, "vs_one_line" the time over the same backup of one line,
// which stays at 1 while lines add no waiting to each other. The program's own peak memory and
// CPU time come from the kernel's account of the child process. The fast runs put the units at
// line rate (each character costs its 9600-baud time) and pass --fast. The network runs put a
// ser2net device server in front of every line and reach the units over raw TCP, as an
// installation with serial-to-Ethernet converters would.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/engine_timers.h"
#include "link/protocol_engine.h"
#include "net/ser2net_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kUnitsPerLine = 2;
constexpr double kBoundMs = kUnitsPerLine * 34.0 * link::timers::kTransferStepMs;
// What the protocol itself asks on top of the 34 ticks: one search pass (ten probes), and per
// unit the wait after the closing "U00)" and the goodbye's tick.
constexpr double kProtocolMinimumMs =
    link::kLastDeviceId * link::timers::kProbeMs +
    kUnitsPerLine * (34.0 * link::timers::kTransferStepMs + link::timers::kAfterUploadMs +
                     link::timers::kDisconnectMs);

struct Run {
  double ms = 0;
  double cpuMs = 0;
  double peakMiB = 0;
  int status = -1;
};

// corvella-cli fleet backup over `ports` into `folder`, its output thrown away.
Run BackUp(const std::string& ports, const fs::path& folder, bool fast) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    if (fast) {
      ::execl(CORVELLA_CLI, CORVELLA_CLI, "--ports", ports.c_str(), "fleet", "backup", "--fast",
              folder.c_str(), static_cast<char*>(nullptr));
    } else {
      ::execl(CORVELLA_CLI, CORVELLA_CLI, "--ports", ports.c_str(), "fleet", "backup",
              folder.c_str(), static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  Run run;
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return run;
  run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
  };
  run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// `lines` pseudo-terminals with units 1 and 2 on each, and a fresh folder for the files; with
// `network`, each line served by a ser2net of its own and named by its TCP address.
struct Installation {
  Installation(int lines, bool lineRate, bool network = false) {
    folder = fs::temp_directory_path() / ("corvella-bench-fleet-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (int i = 0; i < lines; ++i) {
      std::vector<sim::VirtualUnit> units;
      for (int id = 1; id <= kUnitsPerLine; ++id) units.emplace_back(id, "Unit");
      hosts.push_back(std::make_unique<sim::VirtualUnitHost>(std::move(units)));
      hosts.back()->SetLineRate(lineRate);
      if (!hosts.back()->Start()) return;
      std::string port = hosts.back()->SlavePath();
      if (network) {
        const fs::path dir = folder / ("ser2net-" + std::to_string(i));
        fs::create_directories(dir);
        servers.push_back(std::make_unique<test::Ser2net>());
        if (!servers.back()->Start(port, dir)) {
          error = servers.back()->Error();
          return;
        }
        port = servers.back()->RawUrl();
      }
      ports += (ports.empty() ? "" : ",") + port;
    }
    // The files go beside the servers' configurations, in a folder of their own.
    folder /= "backup";
    ready = true;
  }
  ~Installation() {
    servers.clear();
    fs::remove_all(folder.parent_path());
  }
  std::vector<std::unique_ptr<sim::VirtualUnitHost>> hosts;
  std::vector<std::unique_ptr<test::Ser2net>> servers;
  std::string ports;
  fs::path folder;
  std::string error = "cannot open the pseudo-terminals";
  bool ready = false;
};

double oneLineMs = 0;

// The benchmark's iterations of the backup of `installation`; empty, with the reason given to
// `state`, when the lines or the backup failed.
std::optional<Run> Measure(benchmark::State& state, const Installation& installation, bool fast) {
  if (!installation.ready) {
    state.SkipWithError(installation.error.c_str());
    return std::nullopt;
  }
  Run run;
  for (auto _ : state) {
    run = BackUp(installation.ports, installation.folder, fast);
    state.SetIterationTime(run.ms / 1000.0);
  }
  if (run.status != 0) {
    state.SkipWithError("the backup failed");
    return std::nullopt;
  }
  return run;
}

void BM_FleetBackup(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const bool fast = state.range(1) != 0;
  const auto run = Measure(state, Installation(lines, fast), fast);
  if (!run) return;
  if (fast) {
    state.counters["seconds"] = run->ms / 1000.0;
    state.counters["ratio"] = run->ms / kBoundMs;
    state.counters["units"] = lines * kUnitsPerLine;
    return;
  }
  if (lines == 1) oneLineMs = run->ms;
  state.counters["ratio"] = run->ms / kBoundMs;
  state.counters["vs_protocol_minimum"] = run->ms / kProtocolMinimumMs;
  state.counters["seconds"] = run->ms / 1000.0;
  if (oneLineMs > 0) state.counters["vs_one_line"] = run->ms / oneLineMs;
  state.counters["cpu_ms"] = run->cpuMs;
  state.counters["peak_mib"] = run->peakMiB;
  state.counters["units"] = lines * kUnitsPerLine;
}
// One line first: the reference the others are held against.
BENCHMARK(BM_FleetBackup)
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({32, 0})
    ->Args({8, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same backup with every line behind a ser2net of its own, held against one such line and
// against the pseudo-terminals' figure of as many lines.
void BM_FleetBackupNetwork(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const auto run = Measure(state, Installation(lines, false, true), false);
  if (!run) return;
  static double oneNetworkLineMs = 0;
  if (lines == 1) oneNetworkLineMs = run->ms;
  state.counters["seconds"] = run->ms / 1000.0;
  state.counters["vs_protocol_minimum"] = run->ms / kProtocolMinimumMs;
  if (oneNetworkLineMs > 0) state.counters["vs_one_line"] = run->ms / oneNetworkLineMs;
  if (oneLineMs > 0) state.counters["vs_one_pty_line"] = run->ms / oneLineMs;
  state.counters["cpu_ms"] = run->cpuMs;
  state.counters["peak_mib"] = run->peakMiB;
  state.counters["units"] = lines * kUnitsPerLine;
}
BENCHMARK(BM_FleetBackupNetwork)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvella

BENCHMARK_MAIN();
