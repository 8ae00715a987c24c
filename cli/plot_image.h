// The page's response graph drawn as the page draws it, into a PNG or SVG file, or its curves
// as CSV.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "model/program_parameters.h"

namespace corvella::cli {

bool WritePlot(const ProgramParameters& p, GraphKind graph, int channel, PlotFormat format,
               const std::string& path, std::string& error);

}  // namespace corvella::cli
