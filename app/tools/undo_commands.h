// One step of the tuning history: the bytes of the PC's set that a committed change altered, with
// what they held before and after, and the name the Edit menu gives the step.
#pragma once

#include <QString>
#include <QUndoCommand>
#include <cstdint>
#include <vector>

#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::app {

class TuningHistory;

// One byte of the 168-byte set. A step keeps only the bytes it changed, so ten thousand steps of
// single edits stay far below a megabyte of sets.
struct ByteEdit {
  std::uint8_t offset;
  std::uint8_t before;
  std::uint8_t after;
};

// The bytes in which `to` differs from `from`.
std::vector<ByteEdit> DiffSets(const ProgramParameters& from, const ProgramParameters& to);
// `p` with the edits' before (undo) or after (redo) bytes written into it.
void ApplyEdits(ProgramParameters& p, const std::vector<ByteEdit>& edits, bool after);

// What made a step, for its name and for how undoing it is sent.
enum class StepKind : std::uint8_t {
  PageEdit,
  OpenFile,
  FactoryDefault,
  Upload,
  Recall,
  TakeDeviceValues,
  ApplyAlignment,
  ApplyCorrection,
  ImportFilters,
  ProgramName,
  SwitchToA,
  SwitchToB,
  Change,  // any other change of the whole set
};

// The A/B set the PC's set stands for.
enum class AbSlot : std::uint8_t { None, A, B };

// "HIGH Output PEQ Band 2 Gain", "LOW Crossover HPF Frequency", "LINE Level", ...
QString ParameterName(const ParameterRef& ref);
// A page edit is named after its parameter, every other step after what made it.
QString StepName(StepKind kind, const ParameterRef& ref);

class SetStep : public QUndoCommand {
 public:
  // `applied`: the change is already in the PC's set (every commit but a switch), so the stack's
  // first redo has nothing to do. `continues`: a page edit that belongs to the drag or hold of
  // the step before it, to be merged into it.
  SetStep(TuningHistory& history, StepKind kind, const ParameterRef& ref,
          std::vector<ByteEdit> edits, bool applied, bool continues);

  void undo() override;
  void redo() override;
  int id() const override;
  bool mergeWith(const QUndoCommand* other) override;

  StepKind kind() const { return kind_; }
  const ParameterRef& ref() const { return ref_; }
  const std::vector<ByteEdit>& edits() const { return edits_; }
  QString Name() const { return StepName(kind_, ref_); }
  // The A/B set in use before and after the step (a switch changes it; other steps keep it).
  void SetSlots(AbSlot before, AbSlot after);
  bool switchesSlot() const { return switchesSlot_; }
  AbSlot slotBefore() const { return slotBefore_; }
  AbSlot slotAfter() const { return slotAfter_; }

 private:
  TuningHistory& history_;
  std::vector<ByteEdit> edits_;
  ParameterRef ref_;
  StepKind kind_;
  bool skipRedo_;
  bool continues_;
  bool switchesSlot_ = false;
  AbSlot slotBefore_ = AbSlot::None;
  AbSlot slotAfter_ = AbSlot::None;
};

}  // namespace corvella::app
