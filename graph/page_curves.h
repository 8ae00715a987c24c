// Every curve of one page's graph for one channel, computed once so that the painter, the pages
// and the CLI's export agree point for point.
#pragma once

#include <array>
#include <string>

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "model/program_parameters.h"

namespace corvella::graph {

struct PageCurves {
  int bandCount = 0;  // 2 for an input, 6 for an output
  std::array<Curve, kOutputBands> bands{};
  Curve crossover{};               // the output's crossover; zero for an input
  bool crossoverIncluded = false;  // in the sum: an output whose filters are not both off
  Curve sum{};
};

// The input equaliser page: the two bands of input 0 (MIC) or 1 (LINE) and their sum.
// A channel index outside 0..1 is held to the nearer one.
PageCurves InputPageCurves(const ProgramParameters& p, int input);

// An output's six bands, its crossover and the sum (output equaliser page, level page). The
// crossover is computed from p.crossover[output]; the second form takes the response a page
// holds already, e.g. CrossoverResponse::db[output].
PageCurves OutputPageCurves(const ProgramParameters& p, int output);
PageCurves OutputPageCurves(const ProgramParameters& p, int output,
                            const double crossover[kGraphPoints]);

// What a graph shows, in words for those who cannot see it: "flat at 0.0 dB", or the largest
// boost and cut with their frequencies ("largest boost +6.0 dB at 1 kHz, largest cut -24.0 dB at
// 20 Hz"), over the graph's points from 20 Hz to 20 kHz.
std::string ResponseSummary(const Curve& db);

}  // namespace corvella::graph
