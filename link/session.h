// The records of one running program (one unit being controlled), owned together and handed by
// reference to the engine, the pages and the view. Tests may build as many as they like.
#pragma once

#include <string>

#include "link/link_state.h"
#include "model/program_parameters.h"

namespace corvella {

struct Session {
  // The unit's current program as the PC knows it. All zero until ResetParameters runs.
  ProgramParameters parameters{};
  link::LinkState link;
  // The view's program-name text: the source ResetParameters and the factory-default load copy
  // into parameters.programName.
  std::string programNameText{kFactoryDefaultName};
  // The output PEQ page's current band (1..6); the level page draws its output curve with it.
  int selectedOutputPeqBand = 1;
};

}  // namespace corvella
