#include "link/edit_table.h"

#include <algorithm>
#include <array>

#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::link {
namespace {

namespace t = timers;

constexpr std::array<EditRow, 22> kEdits = {{
    {Field::ProgramName, "J0003", t::kProgramName, t::kProgramNameMs},
    {Field::InputPeqType, "021", t::kInputPeqBand, t::kPageEditMs},
    {Field::InputPeqFrequency, "022", t::kInputPeqFrequency, t::kPageEditMs},
    {Field::InputPeqQ, "024", t::kInputPeqQ, t::kPageEditMs},
    {Field::InputPeqGain, "023", t::kInputPeqGain, t::kPageEditMs},
    {Field::HpfType, "041", t::kHpfType, t::kPageEditMs},
    {Field::HpfFrequency, "042", t::kHpfFrequency, t::kPageEditMs},
    {Field::LpfType, "043", t::kLpfType, t::kPageEditMs},
    {Field::LpfFrequency, "044", t::kLpfFrequency, t::kPageEditMs},
    {Field::OutputPeqType, "045", t::kOutputPeqBand, t::kPageEditMs},
    {Field::OutputPeqFrequency, "046", t::kOutputPeqFrequency, t::kPageEditMs},
    {Field::OutputPeqQ, "048", t::kOutputPeqQ, t::kPageEditMs},
    {Field::OutputPeqGain, "047", t::kOutputPeqGain, t::kPageEditMs},
    {Field::Delay, "051", t::kDelay, t::kDelayMs},
    {Field::Threshold, "059", t::kCompressor, t::kCompressorMs},
    {Field::Ratio, "059", t::kCompressor, t::kCompressorMs},
    {Field::Release, "059", t::kCompressor, t::kCompressorMs},
    {Field::Attack, "059", t::kCompressor, t::kCompressorMs},
    {Field::AuxTime, "059", t::kCompressor, t::kCompressorMs},
    {Field::InputLevel, "025", t::kInputLevel, t::kPageEditMs},
    {Field::OutputLevel, "049", t::kOutputLevel, t::kPageEditMs},
    {Field::Phase, "052", t::kPhase, t::kPageEditMs},
}};

std::size_t Index(int i) {
  return static_cast<std::size_t>(i);
}

}  // namespace

std::span<const EditRow> EditRows() {
  return kEdits;
}

std::optional<EditRow> FindEdit(Field field) {
  for (const EditRow& row : kEdits)
    if (row.field == field) return row;
  return std::nullopt;
}

std::string EditFrame(int id, const ProgramParameters& p, const ParameterRef& ref) {
  const std::size_t c = Index(ref.channel);
  const std::size_t b = Index(ref.band);
  const auto in = static_cast<Input>(ref.channel);
  const auto out = static_cast<Output>(ref.channel);
  switch (ref.field) {
    case Field::ProgramNumber:
      return {};
    case Field::ProgramName:
      return ProgramNameFrame(id, ProgramNameText(p));
    case Field::InputPeqType:
      return InputPeqBandFrame(id, in, ref.band, p.inputPeq[b][c]);
    case Field::InputPeqFrequency:
      return InputPeqFrequencyFrame(id, in, ref.band, p.inputPeq[b][c].frequency);
    case Field::InputPeqQ:
      return InputPeqQFrame(id, in, ref.band, p.inputPeq[b][c].q);
    case Field::InputPeqGain:
      return InputPeqGainFrame(id, in, ref.band, p.inputPeq[b][c].gain);
    case Field::HpfType:
      return HpfTypeFrame(id, out, p.crossover[c].hpfType);
    case Field::HpfFrequency:
      return HpfFrequencyFrame(id, out, p.crossover[c].hpfFrequency);
    case Field::LpfType:
      return LpfTypeFrame(id, out, p.crossover[c].lpfType);
    case Field::LpfFrequency:
      return LpfFrequencyFrame(id, out, p.crossover[c].lpfFrequency);
    case Field::OutputPeqType:
      return OutputPeqBandFrame(id, out, ref.band, p.outputPeq[b][c]);
    case Field::OutputPeqFrequency:
      return OutputPeqFrequencyFrame(id, out, ref.band, p.outputPeq[b][c].frequency);
    case Field::OutputPeqQ:
      return OutputPeqQFrame(id, out, ref.band, p.outputPeq[b][c].q);
    case Field::OutputPeqGain:
      return OutputPeqGainFrame(id, out, ref.band, p.outputPeq[b][c].gain);
    case Field::Delay:
      return OutputDelayFrame(id, out, p.outputDelay[c]);
    case Field::Threshold:
    case Field::Ratio:
    case Field::Release:
    case Field::Attack:
    case Field::AuxTime:
      return CompressorFrame(id, p.dynamics);
    case Field::InputLevel:
      return InputLevelFrame(id, in, p.inputLevel[c]);
    case Field::OutputLevel:
      return OutputLevelFrame(id, out, p.outputLevel[c]);
    case Field::Phase:
      return OutputPhaseFrame(id, out, p.outputPhase[c]);
  }
  return {};
}

std::vector<ParameterRef> DistinctEdits(const std::vector<ParameterRef>& edits) {
  std::vector<ParameterRef> out;
  for (const ParameterRef& ref : edits) {
    const std::optional<EditRow> row = FindEdit(ref.field);
    if (!row) continue;
    // One command, channel and band: one frame.
    const bool carried = std::any_of(out.begin(), out.end(), [&](const ParameterRef& r) {
      return FindEdit(r.field)->code == row->code && r.channel == ref.channel &&
             r.band == ref.band;
    });
    if (!carried) out.push_back(ref);
  }
  return out;
}

int EditsMinimumMs(const std::vector<ParameterRef>& edits) {
  int ms = 0;
  for (const ParameterRef& ref : DistinctEdits(edits)) ms += FindEdit(ref.field)->intervalMs;
  return ms;
}

bool EditsTakeLongerThanADownload(const std::vector<ParameterRef>& edits) {
  constexpr int kBlocks = 33;
  constexpr int kDownloadMs =
      timers::kDownloadStartMs + kBlocks * timers::kTransferStepMs + timers::kProgramInfoMs;
  return EditsMinimumMs(edits) > kDownloadMs;
}

std::string EditAcknowledgement(int id, Field field) {
  const std::optional<EditRow> row = FindEdit(field);
  if (!row) return {};
  if (field == Field::ProgramName) return Frame(id, row->code);
  return Acknowledgement(id, row->code);
}

}  // namespace corvella::link
