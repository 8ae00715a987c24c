// Test support, not part of the program. A deterministic TimerHost for tests, fuzzers and
// benchmarks: time moves only when told to, and every
// timer tick and scheduled task due by then runs in time order. Periodic timers, as on the window.
#pragma once

#include <algorithm>

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "link/timer_host.h"

namespace corvella::link {

class VirtualClock : public TimerHost {
 public:
  using Ms = std::int64_t;

  void SetClient(TimerClient* client) override { client_ = client; }
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

// Virtual time: one event at a time, earliest first, ties broken by the order of arming.
inline void VirtualClock::ArmTimer(int id, int intervalMs) {
  const int interval = std::max(intervalMs, 1);
  timers_[id] = Timer{interval, now_ + interval, seq_++};
}

inline void VirtualClock::KillTimer(int id) {
  timers_.erase(id);
}

inline bool VirtualClock::IsArmed(int id) const {
  return timers_.count(id) != 0;
}

inline int VirtualClock::Interval(int id) const {
  const auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.interval;
}

inline void VirtualClock::At(Ms at, std::function<void()> task) {
  tasks_.emplace(std::make_pair(std::max(at, now_), seq_++), std::move(task));
}

inline bool VirtualClock::RunNext(Ms limit) {
  bool haveTimer = false;
  int id = 0;
  Ms due = 0;
  std::uint64_t seq = 0;
  for (const auto& [timerId, timer] : timers_) {
    if (!haveTimer || timer.due < due || (timer.due == due && timer.seq < seq)) {
      haveTimer = true;
      id = timerId;
      due = timer.due;
      seq = timer.seq;
    }
  }
  const bool timerDue = haveTimer && due <= limit;
  const bool taskDue = !tasks_.empty() && tasks_.begin()->first.first <= limit;
  if (!timerDue && !taskDue) return false;
  if (taskDue && (!timerDue || tasks_.begin()->first.first <= due)) {
    const auto first = tasks_.begin();
    now_ = first->first.first;
    std::function<void()> task = std::move(first->second);
    tasks_.erase(first);
    task();
    return true;
  }
  now_ = due;
  // Scheduled before the call, so a kill or re-arm inside the tick wins.
  Timer& timer = timers_[id];
  timer.due += timer.interval;
  timer.seq = seq_++;
  if (client_ != nullptr) client_->OnTimer(id);
  return true;
}

inline void VirtualClock::AdvanceTo(Ms t) {
  while (RunNext(t)) {
  }
  now_ = std::max(now_, t);
}

inline bool VirtualClock::AdvanceUntil(const std::function<bool()>& done, Ms maxMs) {
  const Ms limit = now_ + maxMs;
  while (!done()) {
    if (!RunNext(limit)) {
      now_ = limit;
      return done();
    }
  }
  return true;
}

}  // namespace corvella::link
