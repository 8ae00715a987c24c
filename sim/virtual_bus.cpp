#include "sim/virtual_bus.h"

namespace corvella::sim {

VirtualBus::Output VirtualBus::Feed(char byte) {
  Output out;
  out.frame = assembler_.Feed(byte);
  if (!out.frame) return out;
  for (VirtualUnit& unit : units_) {
    if (auto reply = unit.HandleFrame(*out.frame)) out.replies.push_back(std::move(*reply));
  }
  return out;
}

}  // namespace corvella::sim
