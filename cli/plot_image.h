// The page's response graph drawn as the page draws it, into a PNG or SVG file, or its curves
// as CSV. Only the drawing needs Qt: a build without it (the Windows tool made with MinGW) writes
// CSV and says that it cannot write images.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "model/program_parameters.h"

namespace corvella::cli {

bool WritePlot(const ProgramParameters& p, GraphKind graph, int channel, PlotFormat format,
               const std::string& path, std::string& error);

// The PNG or SVG drawing alone (plot_image_qt.cpp); present when CORVELLA_CLI_IMAGES is set.
bool WritePlotImage(const ProgramParameters& p, GraphKind graph, int channel, PlotFormat format,
                    const std::string& path, std::string& error);

}  // namespace corvella::cli
