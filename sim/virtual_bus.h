// Several units sharing one port: every unit hears every frame and answers only those carrying its
// own ID, which is how the device search finds more than one unit behind one port.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame_assembler.h"
#include "sim/virtual_unit.h"

namespace corvella::sim {

class VirtualBus {
 public:
  VirtualBus() = default;
  explicit VirtualBus(std::vector<VirtualUnit> units) : units_(std::move(units)) {}

  struct Output {
    std::optional<std::string> frame;  // the frame this byte completed
    std::vector<Reply> replies;        // the answers to it, in unit order
  };
  Output Feed(char byte);

  std::vector<VirtualUnit>& Units() { return units_; }
  const std::vector<VirtualUnit>& Units() const { return units_; }

 private:
  std::vector<VirtualUnit> units_;
  FrameAssembler assembler_;
};

}  // namespace corvella::sim
