#include "app/window/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <array>
#include <vector>

#include "app/dialogs/program_dialogs.h"
#include "app/dialogs/search_dialog.h"
#include "app/dialogs/select_dialog.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/tools/system_response_window.h"
#include "app/window/commands.h"
#include "app/window/main_view.h"
#include "app/window/main_window.h"

namespace corvella::app {
namespace {

struct PageShot {
  int command;
  const char* name;
};

constexpr std::array<PageShot, 13> kPages{{
    {cmd::kMicPeq, "input-peq-mic"},
    {cmd::kLinePeq, "input-peq-line"},
    {cmd::kMicLevel, "level-mic"},
    {cmd::kLineLevel, "level-line"},
    {cmd::kHighCrossover, "crossover-high"},
    {cmd::kLowCrossover, "crossover-low"},
    {cmd::kHighPeq, "output-peq-high"},
    {cmd::kLowPeq, "output-peq-low"},
    {cmd::kHighLevel, "level-high"},
    {cmd::kLowLevel, "level-low"},
    {cmd::kHighDelay, "delay-high"},
    {cmd::kLowDelay, "delay-low"},
    {cmd::kCompressor, "compressor"},
}};

class Writer {
 public:
  Writer(const QDir& folder, QStringList* written) : folder_(folder), written_(written) {}

  bool Save(QWidget& widget, const QString& name) {
    // The pages draw their graphs from a short timer after each paint.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 250) QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString path = folder_.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(path, "PNG")) {
      failed_ = path;
      return false;
    }
    if (written_ != nullptr) written_->append(path);
    return true;
  }
  const QString& failed() const { return failed_; }

 private:
  QDir folder_;
  QStringList* written_;
  QString failed_;
};

}  // namespace

bool WriteScreenshots(MainWindow& frame, const QString& folder, QStringList* written,
                      QString* error) {
  QDir dir(folder);
  if (!dir.mkpath(QStringLiteral("."))) {
    if (error != nullptr) *error = QStringLiteral("Cannot create %1").arg(folder);
    return false;
  }
  Writer writer(dir, written);
  MainView& view = *frame.view();
  frame.show();
  // Large enough for the whole view whatever the (offscreen) screen's size.
  frame.resize(view.width() + 4, view.height() + frame.menuBar()->sizeHint().height() + 4);

  bool ok = true;
  int index = 1;
  for (const PageShot& page : kPages) {
    view.OnCommand(page.command);
    ok = ok && writer.Save(frame, QStringLiteral("%1-%2")
                                      .arg(index++, 2, 10, QLatin1Char('0'))
                                      .arg(QString::fromLatin1(page.name)));
  }
  view.OnCommand(cmd::kLinePeq);

  view.ShowSearchDialog();
  for (int i = 0; i < 9; ++i) view.searchDialog()->Advance();
  ok = ok && writer.Save(*view.searchDialog(), QStringLiteral("dialog-148-search"));
  ok = ok && writer.Save(frame, QStringLiteral("window-searching"));
  view.HideSearchDialog();

  view.transmitDialog()->show();
  ok = ok && writer.Save(*view.transmitDialog(), QStringLiteral("dialog-168-transmitting"));
  view.transmitDialog()->hide();

  const std::vector<link::FoundDevice> devices{{1, 1, 1, 0, "Corvella Demo."},
                                               {2, 1, 3, 1, "Stage left...."}};
  SelectDialog select(devices, &view);
  ok = ok && writer.Save(select, QStringLiteral("dialog-142-select"));

  ProgramNameDialog name(QStringLiteral("factory default.........."), &view);
  ok = ok && writer.Save(name, QStringLiteral("dialog-144-program-name"));

  ListProgramDialog& list = *view.listDialog();
  list.Reset();
  list.SetLine(1, QStringLiteral("Program No.1        Demo Program............."), true);
  list.SetLine(2, QStringLiteral("Program No.2        Speech..................."), true);
  list.SetLine(3, QStringLiteral("Program No.3       No Used"), false);
  ok = ok && writer.Save(list, QStringLiteral("dialog-145-list-program"));
  list.Reset();

  ProgramSaveAsDialog saveAs(1, &view);
  ok = ok && writer.Save(saveAs, QStringLiteral("dialog-146-program-save-as"));

  DeviceInfoDialog device(false, 1, QString(), &view);
  ok = ok && writer.Save(device, QStringLiteral("dialog-147-device-information"));

  QMessageBox exit(QMessageBox::Question, QStringLiteral("Exit"),
                   QStringLiteral("Are you sure you want to exit ?"),
                   QMessageBox::Yes | QMessageBox::No, &frame);
  exit.setDefaultButton(QMessageBox::No);
  ok = ok && writer.Save(exit, QStringLiteral("dialog-exit"));

  SystemResponseWindow* system = frame.ShowSystemResponse();
  system->resize(1000, 780);
  ok = ok && writer.Save(*system, QStringLiteral("window-system-response"));
  system->hide();

  frame.hide();
  if (!ok && error != nullptr) *error = QStringLiteral("Cannot write %1").arg(writer.failed());
  return ok;
}

}  // namespace corvella::app
