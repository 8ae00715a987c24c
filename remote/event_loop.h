// One thread's event loop for the servers: the serial workers' bytes (posted tasks), the engines'
// timers (one timer host per engine, all on this loop), and sockets to watch, waited for together
// in one poll(). POSIX only. Everything but Post and the signal stop runs on the loop's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "link/port.h"
#include "link/timer_host.h"
#include "remote/reactor.h"

namespace corvella::remote {

class EventLoop final : public link::OwnerThread, public Reactor {
 public:
  using Clock = std::chrono::steady_clock;

  EventLoop();
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Whether the loop could make its wake-up pipe.
  bool Ok() const { return wakeRead_ >= 0; }

  // Any thread; never waits.
  void Post(std::function<void()> task) override;
  // From a signal handler (async-signal-safe): the loop stops at its next turn.
  void StopFromSignal();
  // Makes SIGINT and SIGTERM stop this loop (one loop per process).
  void StopOnSignals();

  // ---- the loop's thread ----
  void Stop() { stopped_ = true; }
  bool Stopped() const;
  // Forgets a stop, so the loop can run again (a server's goodbyes after SIGINT).
  void ClearStop();
  void Watch(int fd, std::function<void()> onReadable) override;
  void Unwatch(int fd) override;
  // A timer host whose timers tick on this loop.
  std::unique_ptr<link::TimerHost> NewTimerHost();
  const void* Every(int ms, std::function<void()> task) override;
  void Cancel(const void* periodic) override;
  // Runs until `done()` holds (checked after every event), Stop() or `timeoutMs` (negative: no
  // limit). Returns done().
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = -1);

 private:
  class LoopTimers;
  struct Timer {
    Clock::duration interval;
    Clock::time_point due;
    std::uint64_t seq;
  };
  using TimerKey = std::pair<const void*, int>;  // (timer host or periodic task, id)

  void ArmTimer(const LoopTimers* host, int id, int intervalMs);
  void KillTimer(const LoopTimers* host, int id);
  bool IsArmed(const LoopTimers* host, int id) const;
  void DropTimers(const LoopTimers* host);
  // Fires the earliest timer due by `now`; false when none is.
  bool FireNext(Clock::time_point now);
  void RunPosted();
  void Drain();

  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
  std::map<int, std::function<void()>> watched_;
  std::map<TimerKey, Timer> timers_;
  std::map<const LoopTimers*, link::TimerClient*> clients_;
  std::vector<std::unique_ptr<std::function<void()>>> periodic_;
  std::uint64_t seq_ = 0;
  bool stopped_ = false;
};

}  // namespace corvella::remote
