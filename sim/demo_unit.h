// The unit behind `--demo`: one virtual unit on a pseudo-terminal inside the program, so the
// window and the CLI can be tried without hardware. Its path goes first in the port table (COM1).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/virtual_unit.h"
#include "sim/virtual_unit_host.h"

namespace corvella::sim {

inline constexpr int kDemoUnitId = 1;
inline constexpr std::string_view kDemoUnitName = "Corvella Demo.";
inline constexpr std::string_view kDemoProgramName = "Demo Program";

// ID 1, the start-up values under the program name "Demo Program" as program 1, and memories 1..4
// in use ("Demo Program", "Speech", "Music", "Live Band"); memories 5 and 6 are unused.
VirtualUnit MakeDemoUnit();

// Starts the demo unit; its path is SlavePath(). Null when no pseudo-terminal can be had, with
// the reason in `error`.
std::unique_ptr<VirtualUnitHost> StartDemoUnit(std::string* error = nullptr);

// The installation behind `corvella-cli --demo fleet ...`: two lines with two units each, IDs 1
// and 2 on the first, 1 and 3 on the second (ID 3 is a unit of the short-answer kind), each
// running a different program of the demo memories. Empty when a line cannot start, with the
// reason in `error`.
std::vector<std::unique_ptr<VirtualUnitHost>> StartDemoInstallation(std::string* error = nullptr);

}  // namespace corvella::sim
