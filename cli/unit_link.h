// Everything a command needs to talk to a unit: the serial port, the application core with its
// timers on the core's own event loop (an owner queue with steady-clock timers, so the tool needs
// no Qt) and, for --demo, the in-process virtual unit. Run() starts an action and turns the event
// loop until the engine has reported the end the caller waits for.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "cli/terminal_view.h"
#include "core/unit_controller.h"
#include "link/owner_queue.h"
#include "link/port_table.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/session.h"
#include "link/steady_timer_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella::cli {

class UnitLink {
 public:
  explicit UnitLink(TerminalView& view);
  ~UnitLink();
  UnitLink(const UnitLink&) = delete;
  UnitLink& operator=(const UnitLink&) = delete;

  // Builds the port over `table` (with the demo unit's line as COM1 when `demo`). False, with
  // the reason, when the demo unit cannot start.
  bool Open(link::PortTable table, bool demo, std::string& error);

  // Calls `start` (an engine command) and runs the event loop until `ended()` holds (the caller
  // asks the view for the chain's typed end). False when `guardMs` passed first (the engine is
  // then stopped where it stood).
  bool Run(const std::function<void()>& start, const std::function<bool()>& ended, int guardMs);

  core::UnitController& Controller() { return *controller_; }
  Session& State() { return controller_->session(); }
  bool PortOpen() const { return port_ && port_->IsOpen(); }
  int PortCount() const { return portCount_; }
  std::string PathOf(int portNumber) const;

 private:
  TerminalView& view_;
  link::OwnerQueue owner_;
  // Owned by the core; kept to turn the event loop.
  link::SteadyTimerHost* timers_ = nullptr;
  int portCount_ = 1;
  // The port goes before the unit on its far side, and the core (which closes it) before the port.
  std::unique_ptr<sim::VirtualUnitHost> demo_;
  std::unique_ptr<link::SerialPort> port_;
  std::unique_ptr<core::UnitController> controller_;
};

}  // namespace corvella::cli
