// Virtual time: one event at a time, earliest first, ties broken by the order of arming.
#include "link/virtual_clock.h"

#include <algorithm>

namespace corvella::link {

void VirtualClock::ArmTimer(int id, int intervalMs) {
  const int interval = std::max(intervalMs, 1);
  timers_[id] = Timer{interval, now_ + interval, seq_++};
}

void VirtualClock::KillTimer(int id) {
  timers_.erase(id);
}

bool VirtualClock::IsArmed(int id) const {
  return timers_.count(id) != 0;
}

int VirtualClock::Interval(int id) const {
  const auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.interval;
}

void VirtualClock::At(Ms at, std::function<void()> task) {
  tasks_.emplace(std::make_pair(std::max(at, now_), seq_++), std::move(task));
}

bool VirtualClock::RunNext(Ms limit) {
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

void VirtualClock::AdvanceTo(Ms t) {
  while (RunNext(t)) {
  }
  now_ = std::max(now_, t);
}

bool VirtualClock::AdvanceUntil(const std::function<bool()>& done, Ms maxMs) {
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
