// The main window: title, placement, the menu with its enabling rules, and the exit question.
#pragma once

#include <QMainWindow>
#include <map>

#include "link/port.h"

namespace corvella::link {
class Journal;
}

class QAction;
class QMenu;

namespace corvella::app {

class FleetDialog;
class JournalWindow;
class MainView;
class CorrectionWindow;
class RemoteControlWindow;
class SystemResponseWindow;

inline constexpr char kWindowTitle[] = " Corvella";
// The exit question while the PC's set differs from the file it came from (or, before any file,
// from the set the program started with).
inline constexpr char kUnsavedExitText[] =
    "The program has unsaved changes.\nSave them before you exit ?";

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(link::Port& port, int portCount, QWidget* parent = nullptr);
  ~MainWindow() override;

  MainView* view() const { return view_; }
  // The menu item of `command`, or nullptr.
  QAction* action(int command) const;
  // Every item's enabled state from the link state, as before a menu opens.
  void UpdateCommandStates();
  // " Corvella - <file name or Untitled>", with "*" while the set differs from that file.
  QString TitleText() const;
  // Full width of the screen's available area, its height minus 4, two pixels below its top.
  void PlaceOnScreen();
  // The same within `available`; the view scrolls when it does not fit.
  void PlaceWithin(const QRect& available);
  // Tools > System Response...: shows the window (one for the program's life) and raises it.
  SystemResponseWindow* ShowSystemResponse();
  CorrectionWindow* ShowCorrection();
  // Tools > Units On All Ports...: the fleet dialog over the window's port table, modal.
  void ShowFleet();
  // The journal the port writes into; Tools > Protocol Journal shows it (greyed without one).
  void SetJournal(const link::Journal* journal);
  // Tools > Protocol Journal: shows the window (one for the program's life) and raises it.
  JournalWindow* ShowJournal();
  // The item that opens it (enabled while no chain runs and the port is a serial port table).
  QAction* fleetAction() const { return fleetAction_; }
#if CORVELLA_REMOTE_CONTROL
  // Tools > Remote Control...: the window that serves the connected unit over OSC (one for the
  // window's life; it serves on while hidden).
  RemoteControlWindow* ShowRemoteControl();
#endif

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void BuildMenus();
  QAction* AddItem(QMenu* menu, const QString& text, int command);
  // The Edit menu's texts name the steps; the title follows the set.
  void UpdateHistoryTexts();
  // With unsaved changes: save first, leave without saving, or stay. True to leave.
  bool AskToLeaveUnsaved();

  link::Port& port_;
  MainView* view_;
  std::map<int, QAction*> actions_;
  QAction* fleetAction_ = nullptr;
  template <typename ToolWindow>
  ToolWindow* ShowTool(ToolWindow*& window);

  QAction* journalAction_ = nullptr;
  const link::Journal* journal_ = nullptr;
  JournalWindow* journalWindow_ = nullptr;
  SystemResponseWindow* systemResponse_ = nullptr;
  CorrectionWindow* correction_ = nullptr;
  RemoteControlWindow* remoteControl_ = nullptr;
  bool placed_ = false;
  // Placed again once the window manager's frame is known (some time after the window shows).
  bool placedWithFrame_ = false;
};

}  // namespace corvella::app
