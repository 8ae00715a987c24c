#include "model/eq_stage.h"

namespace corvella {

namespace {

bool IsOutput(EqStage stage) {
  return stage == EqStage::High || stage == EqStage::Low;
}

std::size_t Channel(EqStage stage) {
  return stage == EqStage::Low || stage == EqStage::InputLine ? 1u : 0u;
}

// The band of a set or of a const set.
template <typename Parameters>
auto& Band(Parameters& p, EqStage stage, std::size_t b) {
  return IsOutput(stage) ? p.outputPeq[b][Channel(stage)] : p.inputPeq[b][Channel(stage)];
}

}  // namespace

std::optional<EqStage> EqStageNamed(std::string_view name) {
  if (name == "high") return EqStage::High;
  if (name == "low") return EqStage::Low;
  if (name == "input-mic") return EqStage::InputMic;
  if (name == "input-line") return EqStage::InputLine;
  return std::nullopt;
}

int StageBandCount(EqStage stage) {
  return IsOutput(stage) ? kOutputBands : kInputBands;
}

std::vector<PeqBand> StageBands(const ProgramParameters& p, EqStage stage) {
  std::vector<PeqBand> bands;
  for (std::size_t b = 0; b < static_cast<std::size_t>(StageBandCount(stage)); ++b) {
    bands.push_back(Band(p, stage, b));
  }
  return bands;
}

void SetStageBands(ProgramParameters& p, EqStage stage, const std::vector<PeqBand>& bands) {
  const std::size_t count = static_cast<std::size_t>(StageBandCount(stage));
  for (std::size_t b = 0; b < count && b < bands.size(); ++b) Band(p, stage, b) = bands[b];
}

}  // namespace corvella
