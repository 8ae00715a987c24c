// One equaliser of the unit as a whole: the six bands of an output or the two of an input, read
// from and written into the band-major tables of the parameter set.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "model/program_parameters.h"

namespace corvella {

enum class EqStage { High, Low, InputMic, InputLine };

// "high", "low", "input-mic", "input-line".
std::optional<EqStage> EqStageNamed(std::string_view name);
int StageBandCount(EqStage stage);
std::vector<PeqBand> StageBands(const ProgramParameters& p, EqStage stage);
// Writes the first StageBandCount(stage) bands; nothing else of the set changes.
void SetStageBands(ProgramParameters& p, EqStage stage, const std::vector<PeqBand>& bands);

}  // namespace corvella
