// Everything a command needs to talk to a unit: the serial port, the engine, its timers on the
// core's own event loop (an owner queue with steady-clock timers, so the tool needs no Qt) and, for
// --demo, the in-process virtual unit. Run() starts an engine command and turns the event loop
// until the chain it started has ended, i.e. until no engine timer is armed.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "cli/terminal_view.h"
#include "link/owner_queue.h"
#include "link/port_table.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/session.h"
#include "link/steady_timer_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella::cli {

// The steady timer host, watched: every chain of the engine keeps at least one timer armed until it
// ends, so "nothing armed after a tick" is the end of whatever was started.
class WatchedTimers : public link::TimerHost, public link::TimerClient {
 public:
  explicit WatchedTimers(link::OwnerQueue& queue) : inner_(queue) { inner_.SetClient(this); }
  void SetClient(link::TimerClient* client) { client_ = client; }
  void SetAfterTick(std::function<void()> afterTick) { afterTick_ = std::move(afterTick); }
  void SetBeforeTick(std::function<void(int)> beforeTick) { beforeTick_ = std::move(beforeTick); }

  void ArmTimer(int id, int intervalMs) override;
  void KillTimer(int id) override;
  bool IsArmed(int id) const override { return armed_.count(id) != 0; }
  bool Idle() const { return armed_.empty(); }

  void OnTimer(int id) override;

  // Runs posted tasks and ticks until `done()` holds or `timeoutMs` passed; returns done().
  bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return inner_.RunUntil(done, timeoutMs);
  }

 private:
  link::SteadyTimerHost inner_;
  link::TimerClient* client_ = nullptr;
  std::function<void()> afterTick_;
  std::function<void(int)> beforeTick_;
  std::set<int> armed_;
};

class UnitLink {
 public:
  explicit UnitLink(TerminalView& view);
  ~UnitLink();
  UnitLink(const UnitLink&) = delete;
  UnitLink& operator=(const UnitLink&) = delete;

  // Builds the port over `table` (with the demo unit's line as COM1 when `demo`). False, with
  // the reason, when the demo unit cannot start.
  bool Open(link::PortTable table, bool demo, std::string& error);

  // Calls `start` (an engine command) and runs the event loop until the engine is idle again.
  // False when `guardMs` passed first (the engine is then stopped where it stood).
  bool Run(const std::function<void()>& start, int guardMs);

  link::ProtocolEngine& Engine() { return *engine_; }
  Session& State() { return session_; }
  bool PortOpen() const { return port_ && port_->IsOpen(); }
  int PortCount() const { return portCount_; }
  // Whether, during the last Run, the read-back after a download got its "U00)" answer, late or
  // not. Its timer shows "-> connect lost...." on every tick it waits and goes on waiting, so only
  // this tells a slow unit from one that never answered.
  bool RefreshAnswered() const { return refreshAnswered_; }
  std::string PathOf(int portNumber) const;

 private:
  TerminalView& view_;
  link::OwnerQueue owner_;
  WatchedTimers timers_{owner_};
  Session session_;
  int portCount_ = 1;
  bool refreshAnswered_ = false;
  // The port goes before the unit on its far side, and the engine before the port.
  std::unique_ptr<sim::VirtualUnitHost> demo_;
  std::unique_ptr<link::SerialPort> port_;
  std::unique_ptr<link::ProtocolEngine> engine_;
};

}  // namespace corvella::cli
