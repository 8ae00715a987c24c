#include "cli/unit_link.h"

#include <algorithm>

#include "sim/demo_unit.h"

namespace corvella::cli {

UnitLink::UnitLink(TerminalView& view) : view_(view) {}

UnitLink::~UnitLink() {
  controller_.reset();
  port_.reset();
  demo_.reset();
}

bool UnitLink::Open(link::PortTable table, bool demo, std::string& error) {
  if (demo) {
    demo_ = sim::StartDemoUnit(&error);
    if (!demo_) return false;
    table.PutFirst(demo_->SlavePath());
  }
  portCount_ = std::clamp(table.Size(), 1, link::kMaxPortNumber);
  port_ = std::make_unique<link::SerialPort>(owner_, std::move(table));
  auto timers = std::make_unique<link::SteadyTimerHost>(owner_);
  timers_ = timers.get();
  controller_ = std::make_unique<core::UnitController>(*port_, std::move(timers), view_, portCount_);
  return true;
}

bool UnitLink::Run(const std::function<void()>& start, const std::function<bool()>& ended,
                   int guardMs) {
  // Bytes that came in since the last command are taken first, as the window's ever-running
  // event loop would have taken them.
  owner_.RunPending();
  start();
  return ended() || timers_->RunUntil(ended, guardMs);
}

std::string UnitLink::PathOf(int portNumber) const {
  if (!port_) return {};
  return port_->Table().PathFor(portNumber).value_or(std::string());
}

}  // namespace corvella::cli
