#include "app/tools/tuning_history.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <utility>

#include "app/window/commands.h"
#include "link/edit_table.h"

namespace corvella::app {
namespace {

// Wheel notches and key repeats of one parameter closer together than this are one step, as a
// drag is; a mouse button still held merges however long the drag pauses.
constexpr qint64 kMergeMs = 1000;

bool IsLevel(Field field) {
  return field == Field::InputLevel || field == Field::OutputLevel;
}

}  // namespace

TuningHistory::TuningHistory(Session& session, link::ProtocolEngine& engine, Hooks hooks,
                             QObject* parent)
    : QObject(parent),
      session_(session),
      engine_(engine),
      hooks_(std::move(hooks)),
      committed_(session.parameters),
      saved_(session.parameters) {
  // Every release anywhere ends a drag or a hold; the filter only looks, it never eats events.
  QCoreApplication::instance()->installEventFilter(this);
  connect(&stack_, &QUndoStack::indexChanged, this, &TuningHistory::changed);
}

bool TuningHistory::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::ShortcutOverride) {
    // The pages keep the focus in an edit, which claims Ctrl+Z and Ctrl+Y for its own typing
    // even when it has none to take back: then the keys belong to the Edit menu.
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto* edit = qobject_cast<QLineEdit*>(watched);
    const bool undo = key->matches(QKeySequence::Undo);
    const bool redo = key->matches(QKeySequence::Redo) ||
                      key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::Key_Y);
    if (edit != nullptr && ((undo && !edit->isUndoAvailable()) ||
                            (redo && !edit->isRedoAvailable()))) {
      return true;
    }
  }
  if (type == QEvent::MouseButtonRelease ||
      (type == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat())) {
    gestureOpen_ = false;
  }
  return QObject::eventFilter(watched, event);
}

// ---- commit points ----

void TuningHistory::Push(SetStep* step) {
  stack_.push(step);
  emit changed();
}

void TuningHistory::ParameterEdited(const ParameterRef& ref) {
  if (restoring_ || group_) return;
  std::vector<ByteEdit> edits = DiffSets(committed_, session_.parameters);
  if (edits.empty()) return;
  // Named after the one row that changed where there is one: the compressor page hands over the
  // threshold for whichever of its four settings moved.
  ParameterRef named = ref;
  const std::vector<ParameterDifference> rows = DiffParameters(committed_, session_.parameters);
  if (rows.size() == 1) named = rows.front().a.ref;
  const bool held = QGuiApplication::mouseButtons() != Qt::NoButton;
  const bool continues = gestureOpen_ && lastEdit_ == named &&
                         (held || (sinceEdit_.isValid() && sinceEdit_.elapsed() < kMergeMs));
  committed_ = session_.parameters;
  gestureOpen_ = true;
  lastEdit_ = named;
  sinceEdit_.start();
  Push(new SetStep(*this, StepKind::PageEdit, named, std::move(edits), true, continues));
}

void TuningHistory::Commit(StepKind kind) {
  if (restoring_ || group_) return;
  gestureOpen_ = false;
  lastEdit_.reset();
  std::vector<ByteEdit> edits = DiffSets(committed_, session_.parameters);
  if (edits.empty()) {
    emit changed();
    return;
  }
  committed_ = session_.parameters;
  Push(new SetStep(*this, kind, {}, std::move(edits), true, false));
}

void TuningHistory::ChainEnded(link::Chain chain, link::Outcome outcome) {
  switch (chain) {
    case link::Chain::PageEdit:
    case link::Chain::ReadUnit:
      return;
    case link::Chain::SendEdits:
      if (std::exchange(listSending_, false) && switchShown_ && outcome == link::Outcome::Done) {
        ShowActive();
      }
      return;
    case link::Chain::Upload:
      Commit(StepKind::Upload);
      return;
    case link::Chain::Recall:
      Commit(StepKind::Recall);
      return;
    case link::Chain::FactoryDefault:
      Commit(StepKind::FactoryDefault);
      return;
    case link::Chain::Rename:
      Commit(StepKind::ProgramName);
      return;
    default:
      Commit(StepKind::Change);
      return;
  }
}

TuningHistory::Group::Group(TuningHistory& history, StepKind kind)
    : history_(history), outer_(history.group_) {
  if (!outer_) history_.group_ = kind;
}

TuningHistory::Group::~Group() {
  if (outer_) return;
  const StepKind kind = *history_.group_;
  history_.group_.reset();
  history_.Commit(kind);
}

// ---- undo and redo ----

const SetStep* TuningHistory::StepAt(int index) const {
  if (index < 0 || index >= stack_.count()) return nullptr;
  return static_cast<const SetStep*>(stack_.command(index));
}

bool TuningHistory::CanUndo() const {
  return stack_.canUndo() && !engine_.ChainRunning();
}

bool TuningHistory::CanRedo() const {
  return stack_.canRedo() && !engine_.ChainRunning();
}

QString TuningHistory::UndoName() const {
  const SetStep* step = StepAt(stack_.index() - 1);
  return step == nullptr ? QString() : step->Name();
}

QString TuningHistory::RedoName() const {
  const SetStep* step = StepAt(stack_.index());
  return step == nullptr ? QString() : step->Name();
}

void TuningHistory::Undo() {
  if (!CanUndo()) return;
  // A value still being typed is committed first, and is then the step taken back.
  if (hooks_.finishTyping) hooks_.finishTyping();
  if (CanUndo()) stack_.undo();
}

void TuningHistory::Redo() {
  if (!CanRedo()) return;
  if (hooks_.finishTyping) hooks_.finishTyping();
  if (CanRedo()) stack_.redo();
}

void TuningHistory::Restore(const SetStep& step, bool forward) {
  const ProgramParameters before = session_.parameters;
  ProgramParameters& p = session_.parameters;
  ApplyEdits(p, step.edits(), forward);
  restoring_ = true;
  committed_ = p;
  gestureOpen_ = false;
  lastEdit_.reset();
  // The view's name text follows the set's name, as after a file load.
  if (before.programName != p.programName) session_.programNameText = ProgramNameText(p);
  if (step.switchesSlot()) active_ = forward ? step.slotAfter() : step.slotBefore();
  if (hooks_.reloadPages) hooks_.reloadPages();
  switchShown_ = step.switchesSlot();
  if (switchShown_) ShowActive();
  SendDifferences(before, step.kind() == StepKind::PageEdit);
  restoring_ = false;
  emit changed();
}

namespace {

std::vector<ParameterRef> DifferingRefs(const ProgramParameters& a, const ProgramParameters& b) {
  std::vector<ParameterRef> refs;
  for (const ParameterDifference& d : DiffParameters(a, b)) refs.push_back(d.a.ref);
  return refs;
}

}  // namespace

void TuningHistory::SendDifferences(const ProgramParameters& before, bool asPageEdit) {
  if (session_.link.linkConnected != 1) return;
  const std::vector<ParameterRef> frames =
      link::DistinctEdits(DifferingRefs(before, session_.parameters));
  if (frames.empty()) return;
  // A page edit goes back as the page sent it, at once, as a page's next edit would go; the
  // name, which a page never sends, and anything larger go as a list, each edit acknowledged.
  // The engine queues either behind whatever still waits for its answer.
  if (asPageEdit && frames.size() == 1 && frames.front().field != Field::ProgramName) {
    if (IsLevel(frames.front().field)) {
      engine_.SendEditAfterPause(frames.front());
    } else {
      engine_.SendEdit(frames.front());
    }
    return;
  }
  if (engine_.SendEdits(frames)) listSending_ = true;
}

// ---- the file ----

void TuningHistory::MarkOpened(const QString& path, const ProgramParameters& asRead) {
  file_ = path;
  saved_ = asRead;
  emit changed();
}

void TuningHistory::MarkSaved(const QString& path) {
  file_ = path;
  saved_ = session_.parameters;
  emit changed();
}

bool TuningHistory::Modified() const {
  return session_.parameters != saved_;
}

QString TuningHistory::FileName() const {
  return file_.isEmpty() ? QString::fromLatin1(kUntitledName) : QFileInfo(file_).fileName();
}

// ---- A/B ----

void TuningHistory::StoreAs(AbSlot slot) {
  if (slot == AbSlot::None) return;
  (slot == AbSlot::A ? a_ : b_) = session_.parameters;
  active_ = slot;
  ShowActive();
  emit changed();
}

bool TuningHistory::IsStored(AbSlot slot) const {
  return slot == AbSlot::A ? a_.has_value() : slot == AbSlot::B && b_.has_value();
}

bool TuningHistory::CanSwitch() const {
  return a_ && b_ && !engine_.ChainRunning();
}

void TuningHistory::Switch() {
  if (!CanSwitch()) return;
  if (hooks_.finishTyping) hooks_.finishTyping();
  if (!CanSwitch()) return;
  const AbSlot target = active_ == AbSlot::A ? AbSlot::B : AbSlot::A;
  auto* step = new SetStep(*this, target == AbSlot::A ? StepKind::SwitchToA : StepKind::SwitchToB,
                           {}, DiffSets(session_.parameters, target == AbSlot::A ? *a_ : *b_),
                           false, false);
  step->SetSlots(active_, target);
  // The stack's first redo makes the switch.
  Push(step);
}

void TuningHistory::ShowActive() {
  if (!hooks_.showStatus || active_ == AbSlot::None) return;
  hooks_.showStatus(QString::fromLatin1(active_ == AbSlot::A ? kAActiveText : kBActiveText));
}

// ---- commands ----

bool TuningHistory::IsHistoryCommand(int command) {
  return command == cmd::kEditUndo || command == cmd::kEditRedo || command == cmd::kStoreAsA ||
         command == cmd::kStoreAsB || command == cmd::kSwitchAb;
}

bool TuningHistory::IsCommandEnabled(int command) const {
  switch (command) {
    case cmd::kEditUndo:
      return CanUndo();
    case cmd::kEditRedo:
      return CanRedo();
    case cmd::kStoreAsA:
    case cmd::kStoreAsB:
      return !engine_.ChainRunning();
    case cmd::kSwitchAb:
      return CanSwitch();
    default:
      return true;
  }
}

void TuningHistory::RunCommand(int command) {
  switch (command) {
    case cmd::kEditUndo:
      Undo();
      break;
    case cmd::kEditRedo:
      Redo();
      break;
    case cmd::kStoreAsA:
      if (!engine_.ChainRunning()) StoreAs(AbSlot::A);
      break;
    case cmd::kStoreAsB:
      if (!engine_.ChainRunning()) StoreAs(AbSlot::B);
      break;
    case cmd::kSwitchAb:
      Switch();
      break;
    default:
      break;
  }
}

}  // namespace corvella::app
