// The `show` listing: every parameter of a set with its code and display text, grouped as the
// editor pages group them. Also the type names both the listing and the graphs' CSV use.
#pragma once

#include <string>
#include <string_view>

#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::cli {

using corvella::CrossoverTypeName;
using corvella::PeqTypeName;

// One line per parameter: "<name>  <code>  <text>", under one heading per page and channel.
std::string ShowText(const ProgramParameters& p);

}  // namespace corvella::cli
