#include "cli/unit_link.h"

#include <algorithm>

#include "sim/demo_unit.h"

namespace corvella::cli {

UnitLink::UnitLink(TerminalView& view) : view_(view) {}

UnitLink::~UnitLink() {
  timers_.SetClient(nullptr);
  engine_.reset();
  if (port_) port_->Close();
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
  engine_ = std::make_unique<link::ProtocolEngine>(session_, *port_, timers_, view_, portCount_);
  timers_.SetClient(engine_.get());
  // The window's start-up values, as the view sets them at creation.
  ResetParameters(session_.parameters, session_.programNameText);
  return true;
}

bool UnitLink::Run(const std::function<void()>& start, const std::function<bool()>& ended,
                   int guardMs) {
  // Bytes that came in since the last command are taken first, as the window's ever-running
  // event loop would have taken them.
  owner_.RunPending();
  start();
  return ended() || timers_.RunUntil(ended, guardMs);
}

std::string UnitLink::PathOf(int portNumber) const {
  if (!port_) return {};
  return port_->Table().PathFor(portNumber).value_or(std::string());
}

}  // namespace corvella::cli
