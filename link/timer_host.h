// How the protocol engine paces itself: it arms and kills timers by ID and is called back with
// OnTimer(id). The window implements this with Qt timers, the CLI with its event loop, and the tests
// with a virtual clock, so every protocol behaviour runs the same way in all three.
#pragma once

namespace corvella::link {

class TimerClient {
 public:
  virtual ~TimerClient() = default;
  virtual void OnTimer(int id) = 0;
};

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // Ticks go to `client`; nullptr drops them (the timers keep running).
  virtual void SetClient(TimerClient* client) = 0;
  // Arming an ID that is running restarts it with the new interval. Periodic until killed.
  virtual void ArmTimer(int id, int intervalMs) = 0;
  virtual void KillTimer(int id) = 0;
  virtual bool IsArmed(int id) const = 0;
};

}  // namespace corvella::link
