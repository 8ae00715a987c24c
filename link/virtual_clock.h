// A deterministic TimerHost for tests and simulations: time moves only when told to, and every
// timer tick and scheduled task due by then runs in time order. Periodic timers, as on the window.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "link/timer_host.h"

namespace corvella::link {

class VirtualClock : public TimerHost {
 public:
  using Ms = std::int64_t;

  void SetClient(TimerClient* client) { client_ = client; }
  Ms Now() const { return now_; }

  void ArmTimer(int id, int intervalMs) override;
  void KillTimer(int id) override;
  bool IsArmed(int id) const override;
  // The interval of a running timer, 0 when it is not armed.
  int Interval(int id) const;

  // Runs `task` at virtual time `at` (now, if `at` is already past). Tasks due at the same moment
  // as a timer tick run first: bytes that arrived by a tick are there when it looks.
  void At(Ms at, std::function<void()> task);
  void After(Ms delay, std::function<void()> task) { At(now_ + delay, std::move(task)); }

  // Moves time forward, running everything due on the way.
  void Advance(Ms ms) { AdvanceTo(now_ + ms); }
  void AdvanceTo(Ms t);
  // Runs events one by one until `done` holds or `maxMs` have passed; returns `done()`. Time stops
  // at the event that made it true.
  bool AdvanceUntil(const std::function<bool()>& done, Ms maxMs);

 private:
  struct Timer {
    int interval;
    Ms due;
    std::uint64_t seq;
  };
  // Runs the earliest event due at or before `limit`; false when there is none.
  bool RunNext(Ms limit);

  TimerClient* client_ = nullptr;
  Ms now_ = 0;
  std::uint64_t seq_ = 0;
  std::map<int, Timer> timers_;
  std::multimap<std::pair<Ms, std::uint64_t>, std::function<void()>> tasks_;
};

}  // namespace corvella::link
