// The commands that talk to a unit, each replayed as an operator does it in the window: "Enable
// Communications", the Select dialog answered "Connect", the action, "Disable Communications".
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/cli_options.h"
#include "link/port_table.h"

namespace corvella::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUnit = 1;
inline constexpr int kExitUsage = 2;

// `input`: the parameters file the command sends (download, load-default), already checked.
// Runs the event loop on the calling thread, which serves as the owner's thread. Returns the
// exit status.
int RunUnitCommand(const Invocation& invocation, link::PortTable ports,
                   const std::optional<std::filesystem::path>& input, std::FILE* out,
                   std::FILE* err);

}  // namespace corvella::cli
