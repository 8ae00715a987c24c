// plot --graph system and align: the loudspeaker's response through both outputs, with measured
// drivers, as a table or a drawing, and the alignment suggestion.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "graph/system_response.h"
#include "model/program_parameters.h"

namespace corvella::cli {

// The frequencies of a system plot: --points N log-spaced, else 1/48 octave, 10 Hz to 24 kHz.
std::vector<double> SystemPlotFrequencies(int points);

// Runs a system plot or an align on `p`; returns the exit status. Messages go to `err`, the
// suggestion to `out`.
int RunSystemCommand(const Invocation& inv, const ProgramParameters& p, std::FILE* out,
                     std::FILE* err);

// The three panes drawn into a PNG or SVG file (Qt Charts; starts an offscreen application when
// there is none). Present when CORVELLA_CLI_IMAGES is set.
bool WriteSystemImage(const graph::SystemCurves& curves, PlotFormat format, const std::string& path,
                      std::string& error);

}  // namespace corvella::cli
