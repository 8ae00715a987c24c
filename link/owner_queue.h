// A plain event queue that stands in for a window's message loop: the CLI and the tests own one and
// run the tasks that the serial worker posts, on their own thread, in posting order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "link/port.h"

namespace corvella::link {

class OwnerQueue final : public OwnerThread {
 public:
  // Any thread; never waits for the owner.
  void Post(std::function<void()> task) override;

  // The following run on the owner's thread only. Each returns the number of tasks run.
  // Runs what is queued now, without waiting for more.
  std::size_t RunPending();
  // Runs tasks as they arrive for `ms` milliseconds.
  std::size_t RunFor(int ms);
  // Runs tasks as they arrive until `done()` holds (checked before waiting and after every task)
  // or `timeoutMs` has passed. True when `done()` held.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

  std::size_t Pending() const;

 private:
  // Takes the next task, waiting until `deadline` at most; empty when none came.
  std::function<void()> Take(std::chrono::steady_clock::time_point deadline);

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace corvella::link
