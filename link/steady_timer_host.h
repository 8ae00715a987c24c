// A TimerHost on the steady clock for a thread without a window event loop (benchmarks, real-time
// tests, batch tools): the owner calls RunUntil, which runs the tasks posted to its OwnerQueue and
// fires the due timers in time order, both on the calling thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include "link/owner_queue.h"
#include "link/timer_host.h"

namespace corvella::link {

class SteadyTimerHost : public TimerHost {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SteadyTimerHost(OwnerQueue& queue) : queue_(queue) {}
  void SetClient(TimerClient* client) override { client_ = client; }

  void ArmTimer(int id, int intervalMs) override;
  void KillTimer(int id) override { timers_.erase(id); }
  bool IsArmed(int id) const override { return timers_.count(id) != 0; }

  // Runs posted tasks and timer ticks until `done()` holds or `timeoutMs` passed; returns done().
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

 private:
  struct Timer {
    Clock::duration interval;
    Clock::time_point due;
    std::uint64_t seq;
  };
  // Fires the earliest timer due by `now`; false when none is due.
  bool FireNext(Clock::time_point now);

  OwnerQueue& queue_;
  TimerClient* client_ = nullptr;
  std::uint64_t seq_ = 0;
  std::map<int, Timer> timers_;
};

}  // namespace corvella::link
