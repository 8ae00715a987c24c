// The curves of one page's response graph, named as the CSV export lists them: each band, the
// crossover and the sum for an equaliser or an output's level graph, the crossover alone for the
// crossover page, the level line for an input's level graph.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "graph/graph_frame.h"
#include "model/program_parameters.h"

namespace corvella::cli {

struct NamedCurve {
  std::string name;
  graph::Curve db;
};

std::vector<NamedCurve> PlotCurves(const ProgramParameters& p, GraphKind graph, int channel);

// A header line, then one row per graph point: index, its evaluation frequency in Hz, the curves.
std::string CsvText(const std::vector<NamedCurve>& curves);

}  // namespace corvella::cli
