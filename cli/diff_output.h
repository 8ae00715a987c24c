// The differences between two parameter sets as the command-line tool prints them: one line per
// parameter (the JSON array is in json_results.h).
#pragma once

#include <string>
#include <vector>

#include "model/parameter_listing.h"

namespace corvella::cli {

// "<section> <parameter>: <code> <text> -> <code> <text>\n" per difference.
std::string DiffText(const std::vector<ParameterDifference>& differences);

}  // namespace corvella::cli
