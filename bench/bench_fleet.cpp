// A whole installation backed up at once: corvella-cli fleet backup against lines of virtual
// units on pseudo-terminals (two units per line), timed from start to exit. Every unit's upload
// waits 34 ticks of 230 ms, so two units on a line bound a line at 2 x 34 x 230 ms; the "ratio"
// counter is the time over that bound, "vs_one_line" the time over the same backup of one line,
// which stays at 1 while lines add no waiting to each other. The program's own peak memory and
// CPU time come from the kernel's account of the child process. The fast runs put the units at
// line rate (each character costs its 9600-baud time) and pass --fast.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/engine_timers.h"
#include "link/protocol_engine.h"
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

// `lines` pseudo-terminals with units 1 and 2 on each, and a fresh folder for the files.
struct Installation {
  Installation(int lines, bool lineRate) {
    for (int i = 0; i < lines; ++i) {
      std::vector<sim::VirtualUnit> units;
      for (int id = 1; id <= kUnitsPerLine; ++id) units.emplace_back(id, "Unit");
      hosts.push_back(std::make_unique<sim::VirtualUnitHost>(std::move(units)));
      hosts.back()->SetLineRate(lineRate);
      if (!hosts.back()->Start()) return;
      ports += (ports.empty() ? "" : ",") + hosts.back()->SlavePath();
    }
    folder = fs::temp_directory_path() / ("corvella-bench-fleet-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    ready = true;
  }
  ~Installation() { fs::remove_all(folder); }
  std::vector<std::unique_ptr<sim::VirtualUnitHost>> hosts;
  std::string ports;
  fs::path folder;
  bool ready = false;
};

double oneLineMs = 0;

void BM_FleetBackup(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const bool fast = state.range(1) != 0;
  Installation installation(lines, fast);
  if (!installation.ready) {
    state.SkipWithError("cannot open the pseudo-terminals");
    return;
  }
  Run run;
  for (auto _ : state) {
    run = BackUp(installation.ports, installation.folder, fast);
    state.SetIterationTime(run.ms / 1000.0);
  }
  if (run.status != 0) {
    state.SkipWithError("the backup failed");
    return;
  }
  if (fast) {
    state.counters["seconds"] = run.ms / 1000.0;
    state.counters["ratio"] = run.ms / kBoundMs;
    state.counters["units"] = lines * kUnitsPerLine;
    return;
  }
  if (lines == 1) oneLineMs = run.ms;
  state.counters["ratio"] = run.ms / kBoundMs;
  state.counters["vs_protocol_minimum"] = run.ms / kProtocolMinimumMs;
  state.counters["seconds"] = run.ms / 1000.0;
  if (oneLineMs > 0) state.counters["vs_one_line"] = run.ms / oneLineMs;
  state.counters["cpu_ms"] = run.cpuMs;
  state.counters["peak_mib"] = run.peakMiB;
  state.counters["units"] = lines * kUnitsPerLine;
}
// One line first: the reference the eight are held against.
BENCHMARK(BM_FleetBackup)
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvella

BENCHMARK_MAIN();
