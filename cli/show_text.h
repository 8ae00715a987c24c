// The `show` listing: every parameter of a set with its code and display text, grouped as the
// editor pages group them. Also the type names both the listing and the graphs' CSV use.
#pragma once

#include <string>
#include <string_view>

#include "model/program_parameters.h"

namespace corvella::cli {

// " None" .. " Notch" as the equaliser pages list them, without the leading blank; "?" for a type
// outside 0..5.
std::string_view PeqTypeName(int type);
// "-12dB Butterworth" .. "-24dB Linkwitz-Riley"; "?" for a type outside 0..11.
std::string_view CrossoverTypeName(int type);

// One line per parameter: "<name>  <code>  <text>", under one heading per page and channel.
std::string ShowText(const ProgramParameters& p);

}  // namespace corvella::cli
