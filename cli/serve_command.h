// `corvella-cli serve`: every unit on every port served to show control (OSC over UDP and TCP) and
// building automation (MQTT) until SIGINT or SIGTERM, then a goodbye to every unit.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"
#include "link/port_table.h"

namespace corvella::cli {

// Finds and reads the units, serves them, and ends with exit status 0 once every unit had its
// goodbye; 1 when no unit was found or a server could not start; 2 for an unreadable password
// file.
int RunServeCommand(const Invocation& invocation, link::PortTable ports, std::FILE* err);

}  // namespace corvella::cli
