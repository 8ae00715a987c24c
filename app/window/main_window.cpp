#include "app/window/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>

#include "app/dialogs/prompts.h"
#include "app/tools/correction_window.h"
#if CORVELLA_REMOTE_CONTROL
#include "app/remote/remote_control_window.h"
#endif
#include "app/tools/fleet_dialog.h"
#include "app/tools/journal_window.h"
#include "app/tools/system_response_window.h"
#include "app/tools/tuning_history.h"
#include "app/window/commands.h"
#include "app/window/main_view.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"

namespace corvella::app {

MainWindow::MainWindow(link::Port& port, int portCount, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      port_(port),
      view_(nullptr) {
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  // The view keeps its layout in pixels; a smaller screen scrolls it rather than squeezing it.
  auto* scroller = new QScrollArea(this);
  scroller->setFrameShape(QFrame::NoFrame);
  // No stop of Tab of its own: it still scrolls a control that Tab reaches into sight.
  scroller->setFocusPolicy(Qt::NoFocus);
  // The view grows with the window and paints the whole of it black.
  scroller->setWidgetResizable(true);
  view_ = new MainView(port, portCount, scroller);
  scroller->setWidget(view_);
  setCentralWidget(scroller);
  BuildMenus();
  connect(view_, &MainView::linkStateChanged, this, &MainWindow::UpdateCommandStates);
  connect(view_, &MainView::exitRequested, this, &QWidget::close);
  connect(&view_->history(), &TuningHistory::changed, this, &MainWindow::UpdateCommandStates);
  UpdateCommandStates();
  PlaceOnScreen();
}

namespace {

// A tool window shown in front of the others.
void Present(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

MainWindow::~MainWindow() {
#if CORVELLA_REMOTE_CONTROL
  // It serves the view's unit: it stops before the view goes.
  delete std::exchange(remoteControl_, nullptr);
#endif
  // The view goes after this part of the window: what it reports on its way out finds no one.
  disconnect(view_, nullptr, this, nullptr);
  disconnect(&view_->history(), nullptr, this, nullptr);
}

QAction* MainWindow::AddItem(QMenu* menu, const QString& text, int command) {
  QAction* item = menu->addAction(text);
  item->setData(command);
  actions_[command] = item;
  connect(item, &QAction::triggered, view_, [this, command] { view_->OnCommand(command); });
  return item;
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddItem(file, QStringLiteral("&Open...\tCtrl+O"), cmd::kFileOpen)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  AddItem(file, QStringLiteral("Save &As..."), cmd::kFileSaveAs);
  file->addSeparator();
  AddItem(file, QStringLiteral("E&xit"), cmd::kAppExit);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  AddItem(edit, QString(), cmd::kEditUndo)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  AddItem(edit, QString(), cmd::kEditRedo)
      ->setShortcuts(
          {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});

  QMenu* comms = menuBar()->addMenu(QStringLiteral("&Communications"));
  AddItem(comms, QStringLiteral("Enable Communications"), cmd::kEnableCommunications);
  AddItem(comms, QStringLiteral("Disable Communications"), cmd::kDisableCommunications);

  QMenu* program = menuBar()->addMenu(QStringLiteral("&Program"));
  AddItem(program, QStringLiteral("Display Current Program No."), cmd::kDisplayProgramNumber);
  AddItem(program, QStringLiteral("Display Current Program Name"), cmd::kDisplayProgramName);
  program->addSeparator();
  AddItem(program, QStringLiteral("Edit Current Program Name"), cmd::kEditProgramName);
  program->addSeparator();
  AddItem(program, QStringLiteral("List Program && Recall"), cmd::kListProgram);
  AddItem(program, QStringLiteral("Save As Current  Program  In Device"),
          cmd::kSaveProgramInDevice);
  program->addSeparator();
  AddItem(program, QStringLiteral("Load default setting"), cmd::kLoadDefaultSetting);

  QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
  AddItem(device, QStringLiteral("Edit Current Device Information"), cmd::kEditDeviceInformation);

  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  connect(tools->addAction(QStringLiteral("System Response...")), &QAction::triggered, this,
          &MainWindow::ShowSystemResponse);
  connect(tools->addAction(QStringLiteral("Correct From Measurement...")), &QAction::triggered,
          this, &MainWindow::ShowCorrection);
  connect(tools->addAction(QStringLiteral("Import Filter Text...")), &QAction::triggered, this,
          [this] { ShowCorrection()->AskAndImportFilters(); });
  connect(tools->addAction(QStringLiteral("Export Filter Text...")), &QAction::triggered, this,
          [this] { ShowCorrection()->AskAndExportFilters(); });
  tools->addSeparator();
  AddItem(tools, QStringLiteral("Compare With Device..."), cmd::kCompareWithDevice);
  AddItem(tools, QStringLiteral("Verify After Download"), cmd::kVerifyAfterDownload)
      ->setCheckable(true);
  AddItem(tools, QStringLiteral("Fast Transfer"), cmd::kFastTransfer)->setCheckable(true);
  tools->addSeparator();
  AddItem(tools, QStringLiteral("Store As A"), cmd::kStoreAsA);
  AddItem(tools, QStringLiteral("Store As B"), cmd::kStoreAsB);
  AddItem(tools, QStringLiteral("Switch A/B\tF9"), cmd::kSwitchAb)
      ->setShortcut(QKeySequence(Qt::Key_F9));
  tools->addSeparator();
  fleetAction_ = tools->addAction(QStringLiteral("Units On All Ports..."));
  connect(fleetAction_, &QAction::triggered, this, &MainWindow::ShowFleet);
  journalAction_ = tools->addAction(QStringLiteral("Protocol Journal"));
  journalAction_->setEnabled(false);
  connect(journalAction_, &QAction::triggered, this, &MainWindow::ShowJournal);
#if CORVELLA_REMOTE_CONTROL
  connect(tools->addAction(QStringLiteral("Remote Control...")), &QAction::triggered, this,
          &MainWindow::ShowRemoteControl);
#endif

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddItem(help, QStringLiteral("&About "), cmd::kAppAbout);

  for (QMenu* menu : {file, edit, comms, program, device, tools, help}) {
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);
  }
}

QAction* MainWindow::action(int command) const {
  const auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::UpdateCommandStates() {
  for (const auto& [command, item] : actions_) {
    item->setEnabled(view_->IsCommandEnabled(command));
    if (item->isCheckable()) item->setChecked(view_->IsCommandChecked(command));
  }
  if (fleetAction_ != nullptr) {
    fleetAction_->setEnabled(!view_->engine().ChainRunning() &&
                             dynamic_cast<link::SerialPort*>(&port_) != nullptr);
  }
  UpdateHistoryTexts();
}

void MainWindow::UpdateHistoryTexts() {
  const TuningHistory& history = view_->history();
  const auto named = [](const QString& verb, const QString& step, const QString& keys) {
    return (step.isEmpty() ? verb : verb + QLatin1Char(' ') + step) + QLatin1Char('\t') + keys;
  };
  // A step's name may hold no "&": it would underline the next letter instead.
  action(cmd::kEditUndo)
      ->setText(named(QStringLiteral("&Undo"), history.UndoName(), QStringLiteral("Ctrl+Z")));
  action(cmd::kEditRedo)
      ->setText(named(QStringLiteral("&Redo"), history.RedoName(), QStringLiteral("Ctrl+Y")));
  const QString title = TitleText();
  if (windowTitle() != title) setWindowTitle(title);
}

QString MainWindow::TitleText() const {
  const TuningHistory& history = view_->history();
  return QString::fromLatin1(kWindowTitle) + QStringLiteral(" - ") + history.FileName() +
         (history.Modified() ? QStringLiteral("*") : QString());
}

void MainWindow::ShowFleet() {
  const auto* serial = dynamic_cast<link::SerialPort*>(&port_);
  if (serial == nullptr || view_->engine().ChainRunning()) return;
  FleetDialog dialog(*view_, port_, serial->Table(), this);
  (void)RunModal(dialog);
  UpdateCommandStates();
}

#if CORVELLA_REMOTE_CONTROL
RemoteControlWindow* MainWindow::ShowRemoteControl() {
  if (remoteControl_ == nullptr) remoteControl_ = new RemoteControlWindow(*view_, this);
  Present(*remoteControl_);
  return remoteControl_;
}
#endif

// A Tools window is made once and brought to the front each time it is asked for.
template <typename ToolWindow>
ToolWindow* MainWindow::ShowTool(ToolWindow*& window) {
  if (window == nullptr) window = new ToolWindow(*view_, this);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

CorrectionWindow* MainWindow::ShowCorrection() {
  return ShowTool(correction_);
}

void MainWindow::SetJournal(const link::Journal* journal) {
  journal_ = journal;
  journalAction_->setEnabled(journal_ != nullptr);
}

JournalWindow* MainWindow::ShowJournal() {
  if (journal_ == nullptr) return nullptr;
  if (journalWindow_ == nullptr) journalWindow_ = new JournalWindow(*journal_, this);
  journalWindow_->show();
  journalWindow_->raise();
  journalWindow_->activateWindow();
  return journalWindow_;
}

SystemResponseWindow* MainWindow::ShowSystemResponse() {
  if (systemResponse_ == nullptr) {
    systemResponse_ = new SystemResponseWindow(*view_, this);
    // Its curves follow the pages' edits, so the Edit menu's keys take them back from it too.
    systemResponse_->addActions({action(cmd::kEditUndo), action(cmd::kEditRedo)});
    const QScreen* screen = this->screen();
    systemResponse_->Place(frameGeometry(),
                           screen != nullptr ? screen->availableGeometry() : frameGeometry());
  }
  systemResponse_->show();
  systemResponse_->raise();
  systemResponse_->activateWindow();
  return systemResponse_;
}

void MainWindow::PlaceOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  // The area panels and docks leave free: on the whole screen the status line would lie under a
  // panel or below the bottom edge.
  PlaceWithin(screen->availableGeometry());
}

void MainWindow::PlaceWithin(const QRect& whole) {
  const QRect wanted(whole.x(), whole.y() + 2, whole.width(), whole.height() - 4);
  // The wanted rectangle is the outer one, title bar and borders included; they are known only
  // once the window is shown, and are zero before.
  const QMargins borders(
      geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
      frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
  move(wanted.topLeft());
  resize(wanted.marginsRemoved(borders).size());
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placed_) {
    placed_ = true;
    PlaceOnScreen();
  }
}

bool MainWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  // A window manager puts its frame round the window only after it is shown, and the first
  // placement counted no frame: the title bar would push the bottom edge off the screen.
  if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && placed_ &&
      !placedWithFrame_ && frameGeometry() != geometry()) {
    placedWithFrame_ = true;
    PlaceOnScreen();
  }
  return handled;
}

bool MainWindow::AskToLeaveUnsaved() {
  const QMessageBox::StandardButton answer = ShowMessage(
      this, {QString::fromLatin1(kUnsavedExitText), QStringLiteral("Exit"), QMessageBox::Question,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes});
  if (answer == QMessageBox::No) return true;
  if (answer != QMessageBox::Yes) return false;
  view_->SaveParametersFile();
  // A cancelled file dialog or a failed save (its box has said why) keeps the window open.
  return !view_->history().Modified();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  const bool leave = view_->history().Modified()
                         ? AskToLeaveUnsaved()
                         : AskYesNo(this, QStringLiteral("Are you sure you want to exit ?"),
                                    QStringLiteral("Exit"));
  if (!leave) {
    event->ignore();
    return;
  }
  // A tool window left open opens where it was at the next start.
  if (systemResponse_ != nullptr && systemResponse_->isVisible()) systemResponse_->RememberPlace();
  event->accept();
}

}  // namespace corvella::app
