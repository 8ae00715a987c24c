// The level page's graph: a line at an input's level, or the whole response of an output.
#pragma once

#include "graph/graph_frame.h"
#include "graph/page_curves.h"

namespace corvella::graph {

// The input level on whole dB: (code - 1) / 2 truncated toward zero, minus 90. Codes 181 (0.0 dB)
// and 182 (+0.5 dB) both give 0.
constexpr int InputLevelWholeDb(int code) {
  return (code - 1) / 2 - 90;
}

// Row of the input level line, drawn with 2.78 pixels per dB: code 205 gives row 23.
inline int InputLevelRow(int code) {
  return RowForDb(InputLevelWholeDb(code), kInputLevelPixelsPerDb);
}

// The whole output curve (six bands plus the crossover unless both its filters are off), the
// same computation as the output equaliser page's; rows with kOutputPixelsPerDb.
inline Curve WholeOutputCurve(const ProgramParameters& p, int output) {
  return OutputPageCurves(p, output).sum;
}

}  // namespace corvella::graph
