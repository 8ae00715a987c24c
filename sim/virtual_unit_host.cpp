// The platform-independent part of the host: the units and the record of received frames.
#include "sim/virtual_unit_host.h"

namespace corvella::sim {

VirtualUnitHost::VirtualUnitHost(std::vector<VirtualUnit> units)
    : bus_(units.empty() ? std::vector<VirtualUnit>{VirtualUnit{}} : std::move(units)) {}

VirtualUnitHost::~VirtualUnitHost() {
  Stop();
}

std::size_t VirtualUnitHost::UnitCount() const {
  std::lock_guard lock(mutex_);
  return bus_.Units().size();
}

std::optional<VirtualUnit> VirtualUnitHost::Unit(std::size_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= bus_.Units().size()) return std::nullopt;
  return bus_.Units()[index];
}

bool VirtualUnitHost::SetFaults(std::size_t index, FaultPlan plan) {
  return WithUnit(index, [&](VirtualUnit& unit) { unit.SetFaults(std::move(plan)); });
}

bool VirtualUnitHost::WithUnit(std::size_t index, const std::function<void(VirtualUnit&)>& change) {
  std::lock_guard lock(mutex_);
  if (index >= bus_.Units().size()) return false;
  change(bus_.Units()[index]);
  return true;
}

std::vector<std::string> VirtualUnitHost::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool VirtualUnitHost::WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return framesChanged_.wait_for(lock, timeout, [&] {
    return received_.size() >= count || hungUp_.load();
  }) && received_.size() >= count;
}

void VirtualUnitHost::Record(std::vector<std::string> frames) {
  if (frames.empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (auto& frame : frames) received_.push_back(std::move(frame));
  }
  framesChanged_.notify_all();
}

}  // namespace corvella::sim
