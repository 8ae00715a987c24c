#include "link/owner_queue.h"

#include <chrono>
#include <utility>

namespace corvella::link {

using Clock = std::chrono::steady_clock;

void OwnerQueue::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    tasks_.push_back(std::move(task));
  }
  arrived_.notify_one();
}

std::function<void()> OwnerQueue::Take(Clock::time_point deadline) {
  std::unique_lock<std::mutex> guard(mutex_);
  arrived_.wait_until(guard, deadline, [this] { return !tasks_.empty(); });
  if (tasks_.empty()) return {};
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  return task;
}

std::size_t OwnerQueue::RunPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    batch.swap(tasks_);
  }
  // Tasks posted while the batch runs wait for the next call, so a task that posts never starves
  // us.
  for (auto& task : batch) task();
  return batch.size();
}

std::size_t OwnerQueue::RunFor(int ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  std::size_t ran = 0;
  while (Clock::now() < deadline) {
    if (auto task = Take(deadline)) {
      task();
      ++ran;
    }
  }
  return ran;
}

bool OwnerQueue::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    auto task = Take(deadline);
    if (!task) return done();
    task();
  }
  return true;
}

std::size_t OwnerQueue::Pending() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return tasks_.size();
}

}  // namespace corvella::link
