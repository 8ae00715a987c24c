// Words for how a chain ended, for front ends that report in sentences (the command-line tool,
// the fleet's tables) when the engine gave no text of its own.
#pragma once

#include <string>

#include "link/link_view.h"

namespace corvella::core {

// Empty for Done.
std::string OutcomeWords(link::Outcome outcome);

}  // namespace corvella::core
