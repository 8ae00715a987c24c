// `corvella-cli fleet ...`: scan, back up or write every unit on every port at once, with one
// progress line per port and a table (or JSON) of every unit's result at the end.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"
#include "link/port_table.h"

namespace corvella::cli {

// Checks what it can before any port opens (the folder, the named ports), then runs the action
// on every port in parallel. Exit status 1 when any unit or port failed; the others are still
// done and reported.
int RunFleetCommand(const Invocation& invocation, link::PortTable ports, std::FILE* out,
                    std::FILE* err);

}  // namespace corvella::cli
