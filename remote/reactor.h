// What the servers need of an event loop: tasks posted to its thread, sockets watched for input,
// and periodic tasks. `serve` runs them on its own poll() loop (EventLoop), the window on Qt's.
#pragma once

#include <functional>

namespace corvella::remote {

class Reactor {
 public:
  virtual ~Reactor() = default;
  // Any thread; the task runs on the loop's thread, after what runs now.
  virtual void Post(std::function<void()> task) = 0;
  // `onReadable` runs whenever `fd` can be read (or has failed); Unwatch may be called from it.
  virtual void Watch(int fd, std::function<void()> onReadable) = 0;
  virtual void Unwatch(int fd) = 0;
  // `task` every `ms` milliseconds from now on, until Cancel with what this returns.
  virtual const void* Every(int ms, std::function<void()> task) = 0;
  virtual void Cancel(const void* periodic) = 0;
};

}  // namespace corvella::remote
