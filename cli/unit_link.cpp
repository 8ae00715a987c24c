#include "cli/unit_link.h"

#include <algorithm>

#include "link/engine_timers.h"
#include "link/frames.h"
#include "sim/demo_unit.h"

namespace corvella::cli {

void WatchedTimers::ArmTimer(int id, int intervalMs) {
  inner_.ArmTimer(id, intervalMs);
  armed_.insert(id);
}

void WatchedTimers::KillTimer(int id) {
  inner_.KillTimer(id);
  armed_.erase(id);
}

void WatchedTimers::OnTimer(int id) {
  if (beforeTick_) beforeTick_(id);
  if (client_ != nullptr) client_->OnTimer(id);
  if (afterTick_) afterTick_();
}

UnitLink::UnitLink(TerminalView& view) : view_(view) {
  timers_.SetBeforeTick([this](int id) {
    const link::LinkState& state = session_.link;
    if (id == link::timers::kInfoRefresh && state.frameComplete != 0 &&
        state.rxFrame == link::TransferEndFrame(state.deviceId)) {
      refreshAnswered_ = true;
    }
  });
}

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

bool UnitLink::Run(const std::function<void()>& start, int guardMs) {
  bool ended = false;
  refreshAnswered_ = false;
  timers_.SetAfterTick([&] { ended = ended || timers_.Idle(); });
  // Bytes that came in since the last command are taken first, as the window's ever-running
  // event loop would have taken them.
  owner_.RunPending();
  start();
  if (timers_.Idle()) {
    ended = true;
  } else {
    timers_.RunUntil([&] { return ended; }, guardMs);
  }
  timers_.SetAfterTick({});
  return ended;
}

std::string UnitLink::PathOf(int portNumber) const {
  if (!port_) return {};
  return port_->Table().PathFor(portNumber).value_or(std::string());
}

}  // namespace corvella::cli
