#include "cli/plot_curves.h"

#include <cstdio>

#include "graph/crossover_response.h"
#include "graph/level_response.h"
#include "graph/page_curves.h"

namespace corvella::cli {
namespace {

void AddPageCurves(std::vector<NamedCurve>& out, const graph::PageCurves& curves, bool output) {
  for (int b = 0; b < curves.bandCount; ++b) {
    out.push_back({"band" + std::to_string(b + 1), curves.bands[static_cast<std::size_t>(b)]});
  }
  if (output) out.push_back({"crossover", curves.crossover});
  out.push_back({"sum", curves.sum});
}

}  // namespace

std::vector<NamedCurve> PlotCurves(const ProgramParameters& p, GraphKind graph, int channel) {
  std::vector<NamedCurve> out;
  switch (graph) {
    case GraphKind::InputPeq:
      AddPageCurves(out, graph::InputPageCurves(p, channel), false);
      break;
    case GraphKind::OutputPeq:
      AddPageCurves(out, graph::OutputPageCurves(p, channel), true);
      break;
    case GraphKind::Crossover:
      out.push_back({"crossover", graph::ComputeCrossover(p.crossover[channel])});
      break;
    case GraphKind::Level:
      if (channel >= 2) {
        AddPageCurves(out, graph::OutputPageCurves(p, channel - 2), true);
      } else {
        // The page draws the input's level on whole dB.
        graph::Curve line{};
        line.fill(graph::InputLevelWholeDb(p.inputLevel[channel]));
        out.push_back({"level", line});
      }
      break;
  }
  return out;
}

std::string CsvText(const std::vector<NamedCurve>& curves) {
  std::string text = "point,frequency_hz";
  for (const NamedCurve& c : curves) text += "," + c.name;
  text += '\n';
  char cell[48];
  for (std::size_t k = 0; k < static_cast<std::size_t>(graph::kGraphPoints); ++k) {
    std::snprintf(cell, sizeof cell, "%zu,%.1f", k, graph::GraphFrequencyList[k]);
    text += cell;
    for (const NamedCurve& c : curves) {
      std::snprintf(cell, sizeof cell, ",%.4f", c.db[k]);
      text += cell;
    }
    text += '\n';
  }
  return text;
}

}  // namespace corvella::cli
