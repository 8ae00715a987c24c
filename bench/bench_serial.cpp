// How fast received bytes reach the owner: the latency from a byte written on the far side of a
// pseudo-terminal to its hand-over on the owner's thread, and the throughput of the receive path.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "link/owner_queue.h"
#include "link/serial_port.h"

namespace {

using corvella::link::OwnerQueue;
using corvella::link::PortTable;
using corvella::link::SerialPort;
using Clock = std::chrono::steady_clock;

struct Pty {
  Pty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) == 0) path = name;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

struct Counter : corvella::link::PortEvents {
  void OnPortByte(int, std::uint8_t) override {
    ++received;
    arrived = Clock::now();
  }
  void OnPortFailure(int, const std::string&) override { ++failures; }
  void OnPortLost(int) override { ++failures; }
  std::size_t received = 0;
  int failures = 0;
  Clock::time_point arrived;
};

// A monitored port on a fresh pseudo-terminal, reporting to a counter on this thread.
struct Receiver {
  Receiver() {
    using namespace corvella::link;
    ok = !pty.path.empty() &&
         port.Open(&counter, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                   kWriteBufferSize) &&
         port.StartMonitoring();
  }
  Pty pty;
  OwnerQueue queue;
  Counter counter;
  SerialPort port{queue, PortTable({pty.path})};
  bool ok = false;
};

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                   samples.end());
  return samples[index];
}

void BM_ByteHandOverLatency(benchmark::State& state) {
  Receiver receiver;
  if (!receiver.ok) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  Pty& pty = receiver.pty;
  OwnerQueue& queue = receiver.queue;
  Counter& counter = receiver.counter;
  std::vector<double> micros;
  micros.reserve(10000);
  for (auto _ : state) {
    const std::size_t before = counter.received;
    const char byte = '(';
    const Clock::time_point sent = Clock::now();
    if (::write(pty.master, &byte, 1) != 1 ||
        !queue.RunUntil([&] { return counter.received > before; }, 5000)) {
      state.SkipWithError("byte not handed over");
      return;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(counter.arrived - sent).count());
  }
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["failures"] = counter.failures;
}
BENCHMARK(BM_ByteHandOverLatency)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void BM_ReceiveThroughput(benchmark::State& state) {
  Receiver receiver;
  if (!receiver.ok) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  Pty& pty = receiver.pty;
  OwnerQueue& queue = receiver.queue;
  Counter& counter = receiver.counter;
  const auto block = static_cast<std::size_t>(state.range(0));
  const std::string data(block, 'x');
  for (auto _ : state) {
    const std::size_t target = counter.received + block;
    std::thread unit([&] {
      std::size_t sent = 0;
      while (sent < data.size()) {
        const ssize_t put = ::write(pty.master, data.data() + sent, data.size() - sent);
        if (put <= 0) return;
        sent += static_cast<std::size_t>(put);
      }
    });
    const bool done = queue.RunUntil([&] { return counter.received >= target; }, 10000);
    unit.join();
    if (!done) {
      state.SkipWithError("bytes not handed over");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(block));
  state.counters["failures"] = counter.failures;
}
BENCHMARK(BM_ReceiveThroughput)->Arg(64 * 1024)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
