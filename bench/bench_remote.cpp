// Remote control's lag: from a set leaving a show-control desk to the frame reaching the unit.
// corvella-cli serve runs as its own process against the virtual unit on a pseudo-terminal (in
// this process, so both ends are timed on one clock); the desk is this process too, sending an
// OSC set over UDP, or an MQTT message through a mosquitto broker on the loopback address. Each
// set waits for the unit to be idle again (its answer is judged at the edit's 300 ms tick), so
// every sample is one set on an idle link; the figures are the median and the 95th percentile.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/virtual_unit_host.h"
#include "support/loopback.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kSamples = 100;
// Longer than the edit's answer tick, so the next set finds the engine idle.
constexpr auto kSettle = std::chrono::milliseconds(450);

using test::FreePort;

// A child program; its standard error is read until a line holds `ready`.
struct Child {
  Child(const std::vector<std::string>& args, const std::string& ready) {
    int err[2];
    if (::pipe(err) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      const int devNull = ::open("/dev/null", O_RDWR);
      ::dup2(devNull, STDIN_FILENO);
      ::dup2(devNull, STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      std::vector<char*> argv;
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(err[1]);
    std::string text;
    char c;
    while (text.find(ready) == std::string::npos && ::read(err[0], &c, 1) == 1) text += c;
    ok = text.find(ready) != std::string::npos;
    // The rest of its output is not read: keep the pipe drained so it never blocks.
    drain = std::thread([fd = err[0]] {
      char buffer[4096];
      while (::read(fd, buffer, sizeof buffer) > 0) {
      }
      ::close(fd);
    });
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    if (drain.joinable()) drain.join();
  }
  pid_t pid = -1;
  bool ok = false;
  std::thread drain;
};

// The virtual unit, noting when each HIGH level frame arrived.
struct Unit {
  Unit() {
    host.SetTrafficObserver([this](sim::Traffic direction, std::string_view frame) {
      if (direction != sim::Traffic::Received || frame.rfind("(01$0491", 0) != 0) return;
      const std::lock_guard<std::mutex> lock(mutex);
      arrived.push_back(Clock::now());
      changed.notify_all();
    });
    ok = host.Start();
  }
  // Waits for the frame after `count` frames; its arrival time.
  std::optional<Clock::time_point> Await(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return arrived.size() > count; })) {
      return std::nullopt;
    }
    return arrived[count];
  }
  std::size_t Count() {
    const std::lock_guard<std::mutex> lock(mutex);
    return arrived.size();
  }
  sim::VirtualUnitHost host;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Clock::time_point> arrived;
  bool ok = false;
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// Sets the HIGH level kSamples times through `send` and notes each lag to the unit's frame.
template <typename Send>
bool Measure(benchmark::State& state, Unit& unit, Send send) {
  std::vector<double> lags;
  for (int i = 0; i < kSamples; ++i) {
    const std::size_t before = unit.Count();
    // Two values by turns, so every set changes the level and sends a frame.
    const float db = i % 2 == 0 ? -10.0f : -20.0f;
    const auto sent = Clock::now();
    send(db);
    const auto arrived = unit.Await(before);
    if (!arrived) {
      state.SkipWithError("a set never reached the unit");
      return false;
    }
    lags.push_back(std::chrono::duration<double, std::milli>(*arrived - sent).count());
    std::this_thread::sleep_for(kSettle);
  }
  state.counters["median_ms"] = Percentile(lags, 0.5);
  state.counters["p95_ms"] = Percentile(lags, 0.95);
  state.counters["max_ms"] = *std::max_element(lags.begin(), lags.end());
  state.counters["samples"] = static_cast<double>(lags.size());
  return true;
}

void BM_OscSetToFrame(benchmark::State& state) {
  Unit unit;
  const int port = FreePort(SOCK_DGRAM);
  Child serve({CORVELLA_CLI, "--ports", unit.host.SlavePath(), "serve", "--fast", "--osc-udp",
               std::to_string(port)},
              "until SIGINT");
  if (!unit.ok || !serve.ok) {
    state.SkipWithError("serve did not start");
    return;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (auto _ : state) {
    Measure(state, unit, [&](float db) {
      const auto packet = test::OscFloatMessage("/corvella/1/output/high/level", db);
      ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    });
  }
  ::close(fd);
}
BENCHMARK(BM_OscSetToFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MqttSetToFrame(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("corvella-bench-mqtt-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const int brokerPort = FreePort(SOCK_STREAM);
  std::ofstream(dir / "mosquitto.conf")
      << "listener " << brokerPort << " 127.0.0.1\npersistence false\nallow_anonymous true\n";
  {
    Child broker({CORVELLA_MOSQUITTO, "-c", (dir / "mosquitto.conf").string()}, " running");
    Unit unit;
    const std::string address = "127.0.0.1:" + std::to_string(brokerPort);
    Child serve(
        {CORVELLA_CLI, "--ports", unit.host.SlavePath(), "serve", "--fast", "--mqtt", address},
        "until SIGINT");
    mosquitto_lib_init();
    mosquitto* desk = mosquitto_new(nullptr, true, nullptr);
    const bool connected =
        desk != nullptr &&
        mosquitto_connect(desk, "127.0.0.1", brokerPort, 30) == MOSQ_ERR_SUCCESS &&
        mosquitto_loop_start(desk) == MOSQ_ERR_SUCCESS;
    if (!broker.ok || !unit.ok || !serve.ok || !connected) {
      state.SkipWithError("the broker or serve did not start");
    } else {
      for (auto _ : state) {
        Measure(state, unit, [&](float db) {
          const std::string value = std::to_string(db);
          mosquitto_publish(desk, nullptr, "corvella/1/output/high/level/set",
                            static_cast<int>(value.size()), value.data(), 0, false);
        });
      }
    }
    if (desk != nullptr) {
      mosquitto_disconnect(desk);
      mosquitto_loop_stop(desk, false);
      mosquitto_destroy(desk);
    }
    mosquitto_lib_cleanup();
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_MqttSetToFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvella

BENCHMARK_MAIN();
