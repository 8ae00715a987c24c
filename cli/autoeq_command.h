// corvella-cli autoeq: a stage's bands fitted to a measurement, written into a copy of the set.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"

namespace corvella::cli {

// Reads inv.file as stored (not repaired, so every byte but the stage's bands is kept), fits,
// prints the figures and the bands (or JSON) to `out`, writes inv.output. Returns the exit status.
int RunAutoEq(const Invocation& inv, std::FILE* out, std::FILE* err);

}  // namespace corvella::cli
