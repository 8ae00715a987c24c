#include "remote/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace corvella::remote {
namespace {

// The loop a signal stops; a process serves from one loop.
std::atomic<int> signalPipe{-1};
volatile std::sig_atomic_t signalled = 0;

void OnStopSignal(int) {
  signalled = 1;
  const int fd = signalPipe.load();
  if (fd >= 0) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
}

}  // namespace

// An engine's timers on the loop; periodic like a window timer.
class EventLoop::LoopTimers final : public link::TimerHost {
 public:
  explicit LoopTimers(EventLoop& loop) : loop_(loop) { loop_.clients_[this] = nullptr; }
  ~LoopTimers() override { loop_.DropTimers(this); }
  void SetClient(link::TimerClient* client) override { loop_.clients_[this] = client; }
  void ArmTimer(int id, int intervalMs) override { loop_.ArmTimer(this, id, intervalMs); }
  void KillTimer(int id) override { loop_.KillTimer(this, id); }
  bool IsArmed(int id) const override { return loop_.IsArmed(this, id); }

 private:
  EventLoop& loop_;
};

EventLoop::EventLoop() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

EventLoop::~EventLoop() {
  int mine = wakeWrite_;
  signalPipe.compare_exchange_strong(mine, -1);
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void EventLoop::Post(std::function<void()> task) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(task));
  }
  // A full pipe already holds a wake-up.
  const char byte = 'p';
  [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
}

void EventLoop::StopFromSignal() {
  OnStopSignal(0);
}

void EventLoop::StopOnSignals() {
  signalPipe.store(wakeWrite_);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool EventLoop::Stopped() const {
  return stopped_ || signalled != 0;
}

void EventLoop::ClearStop() {
  stopped_ = false;
  signalled = 0;
}

void EventLoop::Watch(int fd, std::function<void()> onReadable) {
  watched_[fd] = std::move(onReadable);
}

void EventLoop::Unwatch(int fd) {
  watched_.erase(fd);
}

std::unique_ptr<link::TimerHost> EventLoop::NewTimerHost() {
  return std::make_unique<LoopTimers>(*this);
}

const void* EventLoop::Every(int ms, std::function<void()> task) {
  periodic_.push_back(std::make_unique<std::function<void()>>(std::move(task)));
  const void* key = periodic_.back().get();
  const auto interval = std::chrono::milliseconds(std::max(ms, 1));
  timers_[{key, 0}] = Timer{interval, Clock::now() + interval, seq_++};
  return key;
}

void EventLoop::Cancel(const void* periodic) {
  timers_.erase({periodic, 0});
  std::erase_if(periodic_, [periodic](const auto& task) { return task.get() == periodic; });
}

void EventLoop::ArmTimer(const LoopTimers* host, int id, int intervalMs) {
  const auto interval = std::chrono::milliseconds(std::max(intervalMs, 1));
  timers_[{host, id}] = Timer{interval, Clock::now() + interval, seq_++};
}

void EventLoop::KillTimer(const LoopTimers* host, int id) {
  timers_.erase({host, id});
}

bool EventLoop::IsArmed(const LoopTimers* host, int id) const {
  return timers_.count({host, id}) != 0;
}

void EventLoop::DropTimers(const LoopTimers* host) {
  std::erase_if(timers_, [host](const auto& entry) { return entry.first.first == host; });
  clients_.erase(host);
}

bool EventLoop::FireNext(Clock::time_point now) {
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due > now) continue;
    if (next == timers_.end() || it->second.due < next->second.due ||
        (it->second.due == next->second.due && it->second.seq < next->second.seq)) {
      next = it;
    }
  }
  if (next == timers_.end()) return false;
  const TimerKey key = next->first;
  next->second.due = std::max(next->second.due + next->second.interval, now);
  next->second.seq = seq_++;
  const auto host = clients_.find(static_cast<const LoopTimers*>(key.first));
  if (host != clients_.end()) {
    if (host->second != nullptr) host->second->OnTimer(key.second);
    return true;
  }
  const auto* task = static_cast<const std::function<void()>*>(key.first);
  (*task)();
  return true;
}

void EventLoop::RunPosted() {
  std::vector<std::function<void()>> tasks;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

void EventLoop::Drain() {
  char buffer[256];
  while (::read(wakeRead_, buffer, sizeof buffer) > 0) {
  }
}

bool EventLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = timeoutMs < 0 ? Clock::time_point::max()
                                      : Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Stopped()) return false;
    auto now = Clock::now();
    if (FireNext(now)) continue;
    if (now >= deadline) return false;
    auto wake = deadline;
    for (const auto& [key, timer] : timers_) wake = std::min(wake, timer.due);
    int waitMs = -1;
    if (wake != Clock::time_point::max()) {
      // Rounded up, so a timer is never found not yet due and waited for again in a spin.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
      waitMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
    }
    std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}};
    for (const auto& [fd, callback] : watched_) fds.push_back({fd, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), waitMs);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if (fds[0].revents != 0) {
      Drain();
      RunPosted();
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      // The callback may unwatch this or another descriptor.
      const auto watched = watched_.find(fds[i].fd);
      if (watched == watched_.end()) continue;
      const std::function<void()> callback = watched->second;
      callback();
    }
  }
  return true;
}

}  // namespace corvella::remote
