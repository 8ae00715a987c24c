// The differences between two parameter sets as the command-line tool prints them: one line per
// parameter, or a JSON array.
#pragma once

#include <string>
#include <vector>

#include "model/parameter_listing.h"

namespace corvella::cli {

// "<section> <parameter>: <code> <text> -> <code> <text>\n" per difference.
std::string DiffText(const std::vector<ParameterDifference>& differences);
// [{"section", "parameter", "a": {"code", "text"}, "b": {...}}, ...]; the name's code is null.
std::string DiffJson(const std::vector<ParameterDifference>& differences);

}  // namespace corvella::cli
