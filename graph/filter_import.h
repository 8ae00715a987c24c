// Filter text taken into a stage: each filter snapped to the unit's steps, and how far the
// stage's curve then lies from the filters' own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/filter_text.h"
#include "model/program_parameters.h"

namespace corvella::graph {

struct FilterImport {
  std::vector<PeqBand> bands;  // the stage's bands: the filters in order, then None
  // Largest difference between the snapped bands' summed curve and the filters' own, 20 Hz to
  // 20 kHz on 1/48-octave points.
  double largestDifferenceDb = 0.0;
};

// Nothing, with `error` set, when there are more filters than the stage has bands.
std::optional<FilterImport> ImportFilters(const std::vector<TextFilter>& filters, int bandCount,
                                          std::string& error);

}  // namespace corvella::graph
