// Puts a bus of virtual units behind a pseudo-terminal: the program opens the far side's path as
// its serial port, and a thread of the host answers every frame, so the real serial layer and
// engine run unchanged against it. POSIX only; elsewhere Start() reports that it cannot run.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/virtual_bus.h"
#include "sim/virtual_unit.h"

namespace corvella::sim {

enum class Traffic { Received, Sent };

// Characters a second on the unit's line: 9600 baud, a start bit, 8 data bits, 2 stop bits.
inline constexpr double kLineCharsPerSecond = 9600.0 / 11.0;
// Called on the host's thread for every complete frame received and every answer written.
using TrafficObserver = std::function<void(Traffic, std::string_view)>;

class VirtualUnitHost {
 public:
  // One unit with ID 1 when no units are given.
  explicit VirtualUnitHost(std::vector<VirtualUnit> units = {});
  ~VirtualUnitHost();
  VirtualUnitHost(const VirtualUnitHost&) = delete;
  VirtualUnitHost& operator=(const VirtualUnitHost&) = delete;

  // Opens the pseudo-terminal and starts answering. On failure returns false and, when `error` is
  // given, the system's reason.
  bool Start(std::string* error = nullptr);
  // Stops the thread and closes the line; the far side's path goes away. Safe to call twice.
  void Stop();
  bool Running() const { return thread_.joinable(); }
  // The line was closed by a hang-up fault (or failed); nothing more is answered.
  bool HungUp() const { return hungUp_.load(); }
  // What the program opens as its serial port, e.g. "/dev/pts/7".
  const std::string& SlavePath() const { return slavePath_; }

  // Set before Start.
  // At line rate every character in either direction takes its time on a 9600-baud 8N2 line
  // (11 bits): a frame reaches the unit only once its last character could have arrived, and
  // the answer's characters come out one character time apart. Without it the line is
  // instantaneous.
  void SetLineRate(bool on) { lineRate_ = on; }
  void SetTrafficObserver(TrafficObserver observer) { observer_ = std::move(observer); }
  // Called on the host's thread when the line closes by itself (hang-up fault, line failure).
  void SetLineClosedCallback(std::function<void()> callback) { onClosed_ = std::move(callback); }

  // The units, by position (their IDs may change while running).
  std::size_t UnitCount() const;
  // A copy taken under the lock; nullopt for an index past the last unit.
  std::optional<VirtualUnit> Unit(std::size_t index) const;
  // False for an index past the last unit.
  bool SetFaults(std::size_t index, FaultPlan plan);
  bool WithUnit(std::size_t index, const std::function<void(VirtualUnit&)>& change);

  // Every complete frame received, in order, whoever it was addressed to. A frame is entered only
  // after its immediate answers have been written to the line.
  std::vector<std::string> ReceivedFrames() const;
  // Waits until at least `count` frames were received; false on timeout or hang-up.
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
  // Answers queued behind their delay and not yet written.
  std::size_t PendingAnswers() const { return pendingAnswers_.load(); }

 private:
  void Run();
  void CloseLine();
  void ReleaseExclusiveUse();
  void Record(std::vector<std::string> frames);

  mutable std::mutex mutex_;
  mutable std::condition_variable framesChanged_;
  VirtualBus bus_;
  std::vector<std::string> received_;
  TrafficObserver observer_;
  std::function<void()> onClosed_;

  std::string slavePath_;
  int masterFd_ = -1;
  int slaveFd_ = -1;  // held open so that the program closing its side does not hang up the line
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;
  bool lineRate_ = false;
  std::atomic<bool> hungUp_{false};
  std::atomic<std::size_t> pendingAnswers_{0};
};

}  // namespace corvella::sim
