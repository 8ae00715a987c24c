// The time from queuing a frame on the real serial port to the last byte of the unit's answer
// reaching the owner's thread: the probe of one unit, sent over and over. Plain C++ on the core
// alone, so the same program measures the POSIX backend and, built with MinGW and run under Wine,
// the Win32 one.
//   answer_latency PORT [COUNT] [ID]    prints "median_ms P99_MS COUNT" on one line
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/frames.h"
#include "link/owner_queue.h"
#include "link/port_table.h"
#include "link/serial_port.h"

namespace {

using namespace corvella::link;
using Clock = std::chrono::steady_clock;

class Answers : public PortEvents {
 public:
  std::string bytes;
  Clock::time_point last{};
  int failures = 0;
  bool lost = false;

  void OnPortByte(int, std::uint8_t byte) override {
    bytes += static_cast<char>(byte);
    last = Clock::now();
  }
  void OnPortFailure(int, const std::string& text) override {
    ++failures;
    std::fprintf(stderr, "answer_latency: %s\n", text.c_str());
  }
  void OnPortLost(int) override { lost = true; }
};

double Percentile(std::vector<double> samples, double p) {
  const auto index = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                   samples.end());
  return samples[index];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: answer_latency PORT [COUNT] [ID]\n");
    return 2;
  }
  const auto table = PortTable::Parse(argv[1]);
  const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  const int id = argc > 3 ? std::atoi(argv[3]) : 1;
  if (!table) {
    std::fprintf(stderr, "answer_latency: no port in \"%s\"\n", argv[1]);
    return 2;
  }
  OwnerQueue queue;
  SerialPort port(queue, *table);
  Answers answers;
  if (!port.Open(&answers, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                 kWriteBufferSize) ||
      !port.StartMonitoring()) {
    std::fprintf(stderr, "answer_latency: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::string probe = Frame(id, "X");
  std::vector<double> millis;
  for (int i = 0; i < count; ++i) {
    answers.bytes.clear();
    const Clock::time_point sent = Clock::now();
    if (!port.WriteToPort(probe) ||
        !queue.RunUntil([&] { return answers.bytes.size() > 1 && answers.bytes.back() == ')'; },
                        2000)) {
      std::fprintf(stderr, "answer_latency: no answer to %s (probe %d)\n", probe.c_str(), i + 1);
      return 1;
    }
    millis.push_back(std::chrono::duration<double, std::milli>(answers.last - sent).count());
  }
  port.Close();
  if (answers.failures > 0 || answers.lost) return 1;
  std::printf("%.3f %.3f %d\n", Percentile(millis, 0.5), Percentile(millis, 0.99), count);
  return 0;
}
