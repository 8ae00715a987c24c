// Tools > Units On All Ports... over two lines of virtual units on pseudo-terminals: the table a
// scan fills, the window's own port closed or refused first, and "Connect" making the picked unit
// the window's link.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/tools/fleet_dialog.h"
#include "model/parameters_file.h"
#include "pages/delay_page.h"
#include "pages/page_set.h"
#include "app_harness.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::FileNameAnswer;
using corvella::app::test::Row;
using corvella::app::test::Window;

namespace {

constexpr int kJobMs = 60000;

std::unique_ptr<sim::VirtualUnitHost> StartLine(std::vector<std::pair<int, std::string>> seats) {
  std::vector<sim::VirtualUnit> units;
  for (const auto& [id, name] : seats) {
    sim::VirtualUnit unit(id, name);
    unit.Current().programNumber = static_cast<std::uint8_t>(id + 1);
    unit.SetProgramName("Program " + std::to_string(id));
    units.push_back(std::move(unit));
  }
  auto host = std::make_unique<sim::VirtualUnitHost>(std::move(units));
  host->Start();
  return host;
}

QString PortName(const std::string& path) {
  return QString::fromStdString(fleet::PortName(path));
}

}  // namespace

class FleetDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void scanFillsTheTableAndConnectTakesThePickedUnit() {
    const auto first = StartLine({{1, "Left"}, {3, "Right"}});
    const auto second = StartLine({{2, "Sub"}});
    Window w({first->SlavePath(), second->SlavePath()});
    w.frame.UpdateCommandStates();
    QVERIFY(w.frame.fleetAction()->isEnabled());
    QCOMPARE(w.frame.fleetAction()->text(), QStringLiteral("Units On All Ports..."));

    // A search that found nothing to connect to left the window's port open on COM1.
    QVERIFY(w.port.Open(&w.view().engine(), 1, link::kBaud, link::kParity, link::kDataBits,
                        link::kStopBits, link::kEventMask, link::kWriteBufferSize));
    FleetDialog dialog(w.view(), w.port, link::PortTable({first->SlavePath(),
                                                          second->SlavePath()}));
    dialog.show();
    QSignalSpy finished(&dialog, &FleetDialog::jobFinished);
    QVERIFY(dialog.StartScan());
    QVERIFY(!w.port.IsOpen());
    QVERIFY(dialog.Busy());
    QVERIFY(!dialog.scanButton()->isEnabled());
    QVERIFY(finished.wait(kJobMs));
    QVERIFY(!dialog.Busy());
    QCOMPARE(dialog.progressBar()->value(), 1000);

    const QTableWidget& table = *dialog.table();
    QCOMPARE(table.rowCount(), 3);
    const QString a = PortName(first->SlavePath());
    const QString b = PortName(second->SlavePath());
    QCOMPARE(Row(table, 0), (QStringList{a, "1", "Left", "0", "2", "Program 1", "found"}));
    QCOMPARE(Row(table, 1), (QStringList{a, "3", "Right", "0", "4", "Program 3", "found"}));
    QCOMPARE(Row(table, 2), (QStringList{b, "2", "Sub", "0", "3", "Program 2", "found"}));
    QVERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("3 unit(s), 0 failed")));
    QVERIFY(!dialog.connectButton()->isEnabled());
    if (const QByteArray shot = qgetenv("CORVELLA_FLEET_SHOT"); !shot.isEmpty()) {
      dialog.grab().save(QString::fromLocal8Bit(shot));
    }

    // The sub on COM2 becomes the window's unit, its program uploaded as after "Connect".
    dialog.table()->selectRow(2);
    QVERIFY(dialog.connectButton()->isEnabled());
    QVERIFY(dialog.ConnectSelected());
    QVERIFY(!dialog.isVisible());
    // While the upload runs the menu item is greyed.
    w.frame.UpdateCommandStates();
    QVERIFY(w.view().engine().ChainRunning());
    QVERIFY(!w.frame.fleetAction()->isEnabled());
    Session& s = w.session();
    QVERIFY(QTest::qWaitFor([&] { return !w.view().engine().ChainRunning(); }, kJobMs));
    QCOMPARE(s.link.linkConnected, 1);
    QCOMPARE(s.link.deviceId, 2);
    QCOMPARE(s.link.comPort, 2);
    QCOMPARE(s.parameters.programNumber, 3);
    QCOMPARE(w.port.PortNumber(), 2);

    // While the window holds a unit the fleet does not open any port.
    BoxLog boxes;
    QVERIFY(!dialog.StartScan());
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QVERIFY(boxes.boxes[0].text.contains(QStringLiteral("Disable Communications first")));
    QVERIFY(w.port.IsOpen());
    QCOMPARE(table.rowCount(), 3);
  }

  // The window's backup leaves the manifest the command line leaves; what would replace a
  // program (the PC's unsaved edits, or the units' programs) is asked first.
  void backupWritesTheManifestAndReplacingAProgramIsAsked() {
    const auto line = StartLine({{1, "Left"}, {3, "Right"}});
    Window w({line->SlavePath()});
    FleetDialog dialog(w.view(), w.port, link::PortTable({line->SlavePath()}));
    QTemporaryDir folder;
    QSignalSpy finished(&dialog, &FleetDialog::jobFinished);
    QVERIFY(dialog.StartBackup(folder.path()));
    QVERIFY(finished.wait(kJobMs));
    QFile manifest(folder.filePath(QStringLiteral("manifest.json")));
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    QVERIFY(manifest.readAll().contains("\"result\": \"ok\""));

    BoxLog boxes;
    dialog.table()->selectRow(0);
    w.view().pageSet().DelayCompressor().CommitDelay(0, 77);  // an edit not saved
    boxes.answers = {QMessageBox::Cancel};
    QVERIFY(!dialog.ConnectSelected());
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QCOMPARE(boxes.boxes[0].text, QString::fromLatin1(kUnsavedConnectText));
    QCOMPARE(w.session().link.linkConnected, 0);

    const QString file = folder.filePath(QStringLiteral("send.asc"));
    ProgramParameters p{};
    ResetParameters(p);
    QVERIFY(SaveParametersFile(file.toStdString(), p).ok);
    const FileNameAnswer chosen(file);
    boxes.answers = {QMessageBox::No};
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), std::size_t{2});
    QVERIFY(boxes.boxes[1].text.startsWith(QStringLiteral("Send send.asc to the 1 selected")));
    QVERIFY(!dialog.Busy());
  }

  void backupAsksForAFolderByName() {
    Window w;
    FleetDialog dialog(w.view(), w.port, link::PortTable(std::vector<std::string>{}));
    QStringList captions;
    SetFolderHook([&captions](const QString& caption) {
      captions << caption;
      return QString();  // cancelled: nothing starts
    });
    QTest::mouseClick(dialog.backupButton(), Qt::LeftButton);
    SetFolderHook({});
    QCOMPARE(captions, QStringList{QStringLiteral("Back Up All Units To Folder")});
    QVERIFY(!dialog.Busy());
  }
};

QTEST_MAIN(FleetDialogTest)
#include "fleet_dialog_test.moc"
