// Real-time timers interleaved with the owner queue's tasks.
#include "link/steady_timer_host.h"

#include <algorithm>

namespace corvella::link {

void SteadyTimerHost::ArmTimer(int id, int intervalMs) {
  const auto interval = std::chrono::milliseconds(std::max(intervalMs, 1));
  timers_[id] = Timer{interval, Clock::now() + interval, seq_++};
}

bool SteadyTimerHost::FireNext(Clock::time_point now) {
  bool found = false;
  int id = 0;
  Clock::time_point due{};
  std::uint64_t seq = 0;
  for (const auto& [timerId, timer] : timers_) {
    if (timer.due > now) continue;
    if (!found || timer.due < due || (timer.due == due && timer.seq < seq)) {
      found = true;
      id = timerId;
      due = timer.due;
      seq = timer.seq;
    }
  }
  if (!found) return false;
  // Periodic like a window timer: the next tick is one interval after this one was due, or after
  // now when the owner was held up for longer than an interval.
  Timer& timer = timers_[id];
  timer.due = std::max(timer.due + timer.interval, now);
  timer.seq = seq_++;
  if (client_ != nullptr) client_->OnTimer(id);
  return true;
}

bool SteadyTimerHost::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    const auto now = Clock::now();
    if (FireNext(now)) continue;
    if (now >= deadline) return false;
    auto next = deadline;
    for (const auto& [id, timer] : timers_) next = std::min(next, timer.due);
    // Whole milliseconds for the queue's wait; the last fraction is spun off below.
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
    if (wait.count() > 0) {
      queue_.RunUntil([&] { return done() || Clock::now() >= next; },
                      static_cast<int>(wait.count()));
    } else {
      queue_.RunPending();
    }
  }
  return true;
}

}  // namespace corvella::link
