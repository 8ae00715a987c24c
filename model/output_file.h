// Output files that appear whole or not at all: the content goes to a temporary file beside the
// target, which replaces the target only once it is complete.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "model/program_parameters.h"

namespace corvella {

// `write` fills the temporary file it is given and says whether it succeeded. On any failure the
// temporary file is removed, the target is left as it was and `error` says why.
bool WriteWhole(const std::filesystem::path& target,
                const std::function<bool(const std::filesystem::path& temporary)>& write,
                std::string& error);

bool WriteTextWhole(const std::filesystem::path& target, std::string_view text, std::string& error);

// A parameters file written whole; `error` names the target.
bool SaveParametersWhole(const std::string& target, const ProgramParameters& p, std::string& error);

// Checked before a unit is asked anything, so an hour-long batch does not end on a typo: the
// directory the file would go into must exist.
bool OutputDirectoryExists(const std::filesystem::path& target, std::string& error);

}  // namespace corvella
