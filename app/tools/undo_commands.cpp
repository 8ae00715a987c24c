#include "app/tools/undo_commands.h"

#include <algorithm>
#include <array>
#include <bit>

#include "app/tools/tuning_history.h"

namespace corvella::app {
namespace {

using Image = std::array<std::uint8_t, sizeof(ProgramParameters)>;

// Merged page edits all share this id; every other step merges with nothing.
constexpr int kPageEditId = 1;

// The set's own bytes (host order): a step restores exactly what was there.
Image Bytes(const ProgramParameters& p) {
  return std::bit_cast<Image>(p);
}

QString Channel(bool input, int channel) {
  if (input) return channel == 0 ? QStringLiteral("MIC") : QStringLiteral("LINE");
  return channel == 0 ? QStringLiteral("HIGH") : QStringLiteral("LOW");
}

QString BandPart(int band, const char* what) {
  return QStringLiteral("Band %1 %2").arg(band + 1).arg(QLatin1String(what));
}

}  // namespace

std::vector<ByteEdit> DiffSets(const ProgramParameters& from, const ProgramParameters& to) {
  const Image a = Bytes(from);
  const Image b = Bytes(to);
  std::vector<ByteEdit> edits;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) edits.push_back({static_cast<std::uint8_t>(i), a[i], b[i]});
  }
  return edits;
}

void ApplyEdits(ProgramParameters& p, const std::vector<ByteEdit>& edits, bool after) {
  Image bytes = Bytes(p);
  for (const ByteEdit& e : edits) bytes[e.offset] = after ? e.after : e.before;
  p = std::bit_cast<ProgramParameters>(bytes);
}

QString ParameterName(const ParameterRef& ref) {
  const int c = ref.channel;
  const QString in = Channel(true, c) + QStringLiteral(" Input PEQ ");
  const QString out = Channel(false, c) + QStringLiteral(" Output PEQ ");
  switch (ref.field) {
    case Field::ProgramNumber:
      return QStringLiteral("Program Number");
    case Field::ProgramName:
      return QStringLiteral("Program Name");
    case Field::InputPeqType:
      return in + BandPart(ref.band, "Type");
    case Field::InputPeqFrequency:
      return in + BandPart(ref.band, "Frequency");
    case Field::InputPeqQ:
      return in + BandPart(ref.band, "Q");
    case Field::InputPeqGain:
      return in + BandPart(ref.band, "Gain");
    case Field::HpfType:
      return Channel(false, c) + QStringLiteral(" Crossover HPF Type");
    case Field::HpfFrequency:
      return Channel(false, c) + QStringLiteral(" Crossover HPF Frequency");
    case Field::LpfType:
      return Channel(false, c) + QStringLiteral(" Crossover LPF Type");
    case Field::LpfFrequency:
      return Channel(false, c) + QStringLiteral(" Crossover LPF Frequency");
    case Field::OutputPeqType:
      return out + BandPart(ref.band, "Type");
    case Field::OutputPeqFrequency:
      return out + BandPart(ref.band, "Frequency");
    case Field::OutputPeqQ:
      return out + BandPart(ref.band, "Q");
    case Field::OutputPeqGain:
      return out + BandPart(ref.band, "Gain");
    case Field::Delay:
      return Channel(false, c) + QStringLiteral(" Delay");
    case Field::Threshold:
      return QStringLiteral("Compressor Threshold");
    case Field::Ratio:
      return QStringLiteral("Compressor Ratio");
    case Field::Release:
      return QStringLiteral("Compressor Release Time");
    case Field::Attack:
      return QStringLiteral("Compressor Attack Time");
    case Field::AuxTime:
      return QStringLiteral("Compressor Aux Time");
    case Field::InputLevel:
      return Channel(true, c) + QStringLiteral(" Level");
    case Field::OutputLevel:
      return Channel(false, c) + QStringLiteral(" Level");
    case Field::Phase:
      return Channel(false, c) + QStringLiteral(" Phase");
  }
  return {};
}

QString StepName(StepKind kind, const ParameterRef& ref) {
  switch (kind) {
    case StepKind::PageEdit:
      return ParameterName(ref);
    case StepKind::OpenFile:
      return QStringLiteral("Open File");
    case StepKind::FactoryDefault:
      return QStringLiteral("Load Default Setting");
    case StepKind::Upload:
      return QStringLiteral("Upload");
    case StepKind::Recall:
      return QStringLiteral("Recall");
    case StepKind::TakeDeviceValues:
      return QStringLiteral("Take Device Values");
    case StepKind::ApplyAlignment:
      return QStringLiteral("Apply Alignment");
    case StepKind::ApplyCorrection:
      return QStringLiteral("Correct From Measurement");
    case StepKind::ImportFilters:
      return QStringLiteral("Import Filters");
    case StepKind::ProgramName:
      return QStringLiteral("Edit Program Name");
    case StepKind::SwitchToA:
      return QStringLiteral("Switch To A");
    case StepKind::SwitchToB:
      return QStringLiteral("Switch To B");
    case StepKind::Change:
      break;
  }
  return QStringLiteral("Change");
}

SetStep::SetStep(TuningHistory& history, StepKind kind, const ParameterRef& ref,
                 std::vector<ByteEdit> edits, bool applied, bool continues)
    : history_(history),
      edits_(std::move(edits)),
      ref_(ref),
      kind_(kind),
      skipRedo_(applied),
      continues_(continues) {}

void SetStep::SetSlots(AbSlot before, AbSlot after) {
  switchesSlot_ = true;
  slotBefore_ = before;
  slotAfter_ = after;
}

void SetStep::undo() {
  history_.Restore(*this, false);
}

void SetStep::redo() {
  if (skipRedo_) {
    skipRedo_ = false;
    return;
  }
  history_.Restore(*this, true);
}

int SetStep::id() const {
  return kind_ == StepKind::PageEdit ? kPageEditId : -1;
}

bool SetStep::mergeWith(const QUndoCommand* other) {
  const auto* next = static_cast<const SetStep*>(other);
  if (!next->continues_ || next->ref_ != ref_) return false;
  for (const ByteEdit& e : next->edits_) {
    const auto same = std::find_if(edits_.begin(), edits_.end(),
                                   [&e](const ByteEdit& mine) { return mine.offset == e.offset; });
    if (same == edits_.end()) {
      edits_.push_back(e);
    } else {
      same->after = e.after;
    }
  }
  // A drag that ends where it began changed nothing: the stack then drops the step.
  std::erase_if(edits_, [](const ByteEdit& e) { return e.before == e.after; });
  std::sort(edits_.begin(), edits_.end(),
            [](const ByteEdit& a, const ByteEdit& b) { return a.offset < b.offset; });
  setObsolete(edits_.empty());
  return true;
}

}  // namespace corvella::app
