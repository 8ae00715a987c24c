// The PC's set through a tuning session: every committed change is one undoable step (a slider
// drag or a held spinner is one step, not one per notification), the two A/B sets a listener
// compares, and whether the set still matches the file it was opened from or saved to. Undoing
// while a unit is connected sends the unit what changed back, through the same edit table the
// pages use.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <optional>

#include "app/tools/undo_commands.h"
#include "link/link_view.h"
#include "link/protocol_engine.h"
#include "link/session.h"

namespace corvella::app {

// Status texts of the A/B sets.
inline constexpr char kAActiveText[] = "-> A active";
inline constexpr char kBActiveText[] = "-> B active";
// The file name the title shows before a file was opened or saved.
inline constexpr char kUntitledName[] = "Untitled";

class TuningHistory : public QObject {
  Q_OBJECT

 public:
  // What the history asks of the window around it.
  struct Hooks {
    // The pages and the header show the PC's set again (visible page and channels kept).
    std::function<void()> reloadPages;
    std::function<void(const QString&)> showStatus;
    // A value typed into a page and not yet committed is committed (it becomes a step first).
    std::function<void()> finishTyping;
  };

  TuningHistory(Session& session, link::ProtocolEngine& engine, Hooks hooks,
                QObject* parent = nullptr);

  const QUndoStack& stack() const { return stack_; }

  // ---- commit points ----
  // A page changed `ref` in the PC's set. Consecutive edits of one parameter within one press
  // of the mouse or a key (and the wheel's quick notches) merge into one step.
  void ParameterEdited(const ParameterRef& ref);
  // Whatever changed in the whole set since the last commit becomes one step of `kind`.
  void Commit(StepKind kind);
  // Sets changed by a chain (an upload, a recall) are committed when it ends; an A/B switch's
  // status comes back once its edits have been sent.
  void ChainEnded(link::Chain chain, link::Outcome outcome);

  // Everything committed while a group lives (page edits included) is one step of its kind.
  class Group {
   public:
    Group(TuningHistory& history, StepKind kind);
    ~Group();
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

   private:
    TuningHistory& history_;
    std::optional<StepKind> outer_;
  };

  // ---- undo and redo: refused while a chain runs ----
  bool CanUndo() const;
  bool CanRedo() const;
  // The name of the step Undo or Redo would take back or do again; empty when there is none.
  QString UndoName() const;
  QString RedoName() const;
  void Undo();
  void Redo();
  // A step's undo or redo: the PC's set, the pages and, when connected, the unit.
  void Restore(const SetStep& step, bool forward);

  // ---- the file the set belongs to ----
  // `asRead` is the set as the file held it, before any repair.
  void MarkOpened(const QString& path, const ProgramParameters& asRead);
  void MarkSaved(const QString& path);
  // The PC's set differs from the file it was last opened from or saved to (before any file:
  // from the set the program started with).
  bool Modified() const;
  // The file's name without its folder, or "Untitled".
  QString FileName() const;

  // ---- A/B ----
  void StoreAs(AbSlot slot);
  bool IsStored(AbSlot slot) const;
  bool CanSwitch() const;
  // Makes the other stored set the PC's set (one undo step); when connected, sends only what
  // differs.
  void Switch();
  AbSlot Active() const { return active_; }

  // ---- the window's commands (Edit menu, Tools > A/B) ----
  static bool IsHistoryCommand(int command);
  bool IsCommandEnabled(int command) const;
  void RunCommand(int command);

 signals:
  // The steps, the file state or the A/B state changed: menus and the title follow.
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Push(SetStep* step);
  // Sends the unit what differs from `before`: a page edit's one frame as a page sends it,
  // anything larger as a list of edits.
  void SendDifferences(const ProgramParameters& before, bool asPageEdit);
  void ShowActive();
  const SetStep* StepAt(int index) const;

  Session& session_;
  link::ProtocolEngine& engine_;
  Hooks hooks_;
  QUndoStack stack_;
  // The PC's set as of the last commit: the next step is what differs from it.
  ProgramParameters committed_{};
  ProgramParameters saved_{};
  QString file_;
  std::optional<StepKind> group_;
  bool restoring_ = false;
  // No mouse button or key was released since the last page edit: a drag or a hold goes on.
  bool gestureOpen_ = false;
  std::optional<ParameterRef> lastEdit_;
  QElapsedTimer sinceEdit_;
  std::optional<ProgramParameters> a_;
  std::optional<ProgramParameters> b_;
  AbSlot active_ = AbSlot::None;
  // The history's own list of edits is on its way.
  bool listSending_ = false;
  // The last step taken was an A/B switch: its status shows again once the list is through.
  bool switchShown_ = false;
};

}  // namespace corvella::app
