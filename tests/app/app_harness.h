// What the window tests share: answering the message boxes and dialogs instead of a person, and a
// main window over a real serial port (optionally wired to a virtual unit on a pseudo-terminal).
#pragma once

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>
#include <QTableWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs/prompts.h"
#include "app/qt/qt_owner_thread.h"
#include "app/tools/compare_dialog.h"
#include "app/window/main_view.h"
#include "app/window/main_window.h"
#include "link/journal.h"
#include "link/port.h"
#include "link/serial_port.h"
#include "sim/demo_unit.h"
#include "sim/virtual_unit_host.h"

namespace corvella::app::test {

// Records every message box; answers from `answers` in order, else OK (or No for a question).
class BoxLog {
 public:
  BoxLog() {
    SetMessageHook([this](const MessageRequest& request) {
      boxes.push_back(request);
      if (!answers.empty()) {
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
      }
      return request.buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    });
  }
  ~BoxLog() { SetMessageHook({}); }
  BoxLog(const BoxLog&) = delete;
  BoxLog& operator=(const BoxLog&) = delete;

  std::vector<MessageRequest> boxes;
  std::deque<QMessageBox::StandardButton> answers;
};

// Runs `fill` on each modal dialog instead of its event loop; `fill` closes it (accept/reject).
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(QDialog&)> fill) : fill_(std::move(fill)) {
    SetDialogHook([this](QDialog& dialog) {
      ++runs;
      dialog.setResult(QDialog::Rejected);
      fill_(dialog);
      return dialog.result();
    });
  }
  ~DialogDriver() { SetDialogHook({}); }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  int runs = 0;

 private:
  std::function<void(QDialog&)> fill_;
};

class FileNameAnswer {
 public:
  explicit FileNameAnswer(QString name) {
    SetFileNameHook([name](bool) { return name; });
  }
  ~FileNameAnswer() { SetFileNameHook({}); }
  FileNameAnswer(const FileNameAnswer&) = delete;
  FileNameAnswer& operator=(const FileNameAnswer&) = delete;
};

// The settings the window keeps between runs go to an emptied test folder, never the user's own.
inline void UseEmptyTestSettings() {
  QStandardPaths::setTestModeEnabled(true);
  QFile::remove(ToolsSettingsPath());
}

// The texts of a table's row, cell by cell (empty for a cell without an item).
inline QStringList Row(const QTableWidget& table, int row) {
  QStringList cells;
  for (int column = 0; column < table.columnCount(); ++column) {
    const QTableWidgetItem* item = table.item(row, column);
    cells << (item == nullptr ? QString() : item->text());
  }
  return cells;
}

// The main window over a serial port whose table is `paths`, its frames kept in a journal as the
// program keeps them.
struct Window {
  explicit Window(std::vector<std::string> paths = {})
      : port(owner, link::PortTable(paths), &journal),
        frame(port, paths.empty() ? 1 : static_cast<int>(paths.size())) {
    journal.Start();
    frame.SetJournal(&journal);
  }
  MainView& view() { return *frame.view(); }
  Session& session() { return view().session(); }

  QtOwnerThread owner;
  link::Journal journal;
  link::SerialPort port;
  MainWindow frame;
};

// A window whose port is open on the demo unit (COM1) and marked connected, as after "Connect",
// without going through the search and upload.
struct ConnectedWindow {
  ConnectedWindow() : host(StartHost()), window({host->SlavePath()}) {
    link::ProtocolEngine& engine = window.view().engine();
    opened = window.port.Open(&engine, 1, link::kBaud, link::kParity, link::kDataBits,
                              link::kStopBits, link::kEventMask, link::kWriteBufferSize) &&
             window.port.StartMonitoring();
    window.session().link.linkConnected = 1;
    window.session().link.deviceId = sim::kDemoUnitId;
  }
  static std::unique_ptr<sim::VirtualUnitHost> StartHost() {
    auto host =
        std::make_unique<sim::VirtualUnitHost>(std::vector<sim::VirtualUnit>{sim::MakeDemoUnit()});
    host->Start();
    return host;
  }
  std::vector<std::string> Frames() const { return host->ReceivedFrames(); }
  // What the unit holds now.
  ProgramParameters UnitProgram() const {
    ProgramParameters p{};
    host->WithUnit(0, [&p](sim::VirtualUnit& unit) { p = unit.Current(); });
    return p;
  }

  std::unique_ptr<sim::VirtualUnitHost> host;
  Window window;
  bool opened = false;
};

// Triggers the item `text` of the window's Tools menu.
inline void TriggerToolsItem(Window& w, const QString& text) {
  for (QAction* top : w.frame.menuBar()->actions()) {
    if (top->text() != QStringLiteral("&Tools")) continue;
    for (QAction* item : top->menu()->actions()) {
      if (item->text() == text) item->trigger();
    }
  }
}

}  // namespace corvella::app::test
