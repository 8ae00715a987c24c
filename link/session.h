// The records of one running program (one unit being controlled), owned together and handed by
// reference to the engine, the pages and the view. Tests may build as many as they like.
#pragma once

#include <optional>
#include <string>

#include "link/link_state.h"
#include "model/program_parameters.h"

namespace corvella {

// A new program name sent to the unit and not yet confirmed, with the name the header showed
// before it.
struct UnconfirmedName {
  std::string shown;
  std::string sent;
};

struct Session {
  // The unit's current program as the PC knows it. All zero until ResetParameters runs.
  ProgramParameters parameters{};
  link::LinkState link;
  // The view's program-name text: the source ResetParameters and the factory-default load copy
  // into parameters.programName.
  std::string programNameText{kFactoryDefaultName};
  // Set while a rename waits for (or did not get) the unit's confirmation.
  std::optional<UnconfirmedName> unconfirmedName;

  // The program name the header shows: the PC's, except that a name the unit has not confirmed
  // is not shown as if it were set. Any other change of the PC's name supersedes that.
  std::string HeaderProgramName() const {
    std::string name(parameters.programName.begin(), parameters.programName.end());
    if (unconfirmedName && unconfirmedName->sent == name) return unconfirmedName->shown;
    return name;
  }
};

}  // namespace corvella
