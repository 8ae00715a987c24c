// The whole program path at once: the window searches the serial ports, finds the virtual unit on
// a pseudo-terminal, uploads its program and shows it; then disconnects.
#include <QListWidget>
#include <QProgressBar>
#include <QtTest>
#include <numeric>

#include "app/dialogs/search_dialog.h"
#include "app/dialogs/select_dialog.h"
#include "app/window/commands.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "model/value_input.h"
#include "pages/crossover_page.h"
#include "pages/page_set.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::DialogDriver;
using corvella::app::test::Window;

class EndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void connectsUploadsShowsAndDisconnects() {
    sim::VirtualUnitHost host({sim::MakeDemoUnit()});
    QVERIFY(host.Start());
    QVERIFY(host.WithUnit(0, [](sim::VirtualUnit& unit) {
      unit.Current().crossover[0].hpfFrequency = 40;
      unit.Current().inputLevel[1] = 9;
      unit.Current().programNumber = 3;
    }));

    Window w({host.SlavePath()});
    MainView& view = w.view();
    BoxLog boxes;
    QStringList listed;
    DialogDriver select([&](QDialog& d) {
      auto& dialog = dynamic_cast<SelectDialog&>(d);
      for (int i = 0; i < dialog.list()->count(); ++i) listed << dialog.list()->item(i)->text();
      dialog.accept();
    });

    // The upload's steps as the status line's progress bar shows them.
    std::vector<int> steps;
    QObject::connect(view.statusBar()->progress(), &QProgressBar::valueChanged,
                     [&steps](int step) { steps.push_back(step); });

    view.OnCommand(cmd::kEnableCommunications);
    QVERIFY(!w.frame.action(cmd::kEnableCommunications)->isEnabled());
    QVERIFY(!view.searchDialog()->isHidden());
    QVERIFY(view.searchDialog()->running());
    QCOMPARE(view.statusLine()->text(), QStringLiteral("->Search device..."));
    QVERIFY(QTest::qWaitFor(
        [&] {
          return view.statusLine()->text() == QStringLiteral("-> Program Data Transfered OK...");
        },
        60000));
    QCOMPARE(listed, QStringList{QStringLiteral("Device ID........... 1")});
    QVERIFY(view.searchDialog()->isHidden());
    QVERIFY(!view.searchDialog()->running());
    QVERIFY(boxes.boxes.empty());
    std::vector<int> everyStep(34);
    std::iota(everyStep.begin(), everyStep.end(), 1);
    QCOMPARE(steps, everyStep);
    QVERIFY(!view.statusLine()->ShowsWarning());

    const std::array<QString, 4> header = view.HeaderValues();
    QCOMPARE(header[0], QStringLiteral("3"));
    QVERIFY(header[1].startsWith(QStringLiteral("Demo Program")));
    QCOMPARE(header[1].size(), 25);
    QCOMPARE(header[2], QStringLiteral("1"));
    QCOMPARE(header[3], QStringLiteral("Corvella Demo."));

    const Session& session = w.session();
    QCOMPARE(session.parameters.crossover[0].hpfFrequency, std::uint8_t{40});
    QCOMPARE(session.parameters.inputLevel[1], std::uint8_t{9});
    view.OnCommand(cmd::kHighCrossover);
    pages::CrossoverPage& crossover = view.pageSet().Crossover();
    QCOMPARE(crossover.HpfFrequencyEdit()->text(), QString::fromStdString(HpfFrequencyText(40)));

    // While the transfer's closing exchange still runs, nothing that starts another chain is
    // offered and the pages take no edits; once it has ended, the menus say "connected".
    QVERIFY(view.engine().ChainRunning());
    QVERIFY(!w.frame.action(cmd::kEditDeviceInformation)->isEnabled());
    QVERIFY(!w.frame.action(cmd::kListProgram)->isEnabled());
    QVERIFY(!w.frame.action(cmd::kLoadDefaultSetting)->isEnabled());
    QVERIFY(w.frame.action(cmd::kDisableCommunications)->isEnabled());
    QVERIFY(!crossover.isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, 5000));
    QVERIFY(view.statusBar()->progress()->isHidden());  // the upload's bar goes with its chain
    QVERIFY(crossover.isEnabled());
    QVERIFY(w.frame.action(cmd::kListProgram)->isEnabled());
    QVERIFY(!w.frame.action(cmd::kFileOpen)->isEnabled());
    QVERIFY(w.frame.action(cmd::kDisableCommunications)->isEnabled());
    QVERIFY(w.frame.action(cmd::kEditDeviceInformation)->isEnabled());

    view.OnCommand(cmd::kDisableCommunications);
    QVERIFY(QTest::qWaitFor(
        [&] { return view.statusLine()->text() == QStringLiteral("-> Disconnected"); }, 10000));
    for (const QString& value : view.HeaderValues()) QCOMPARE(value, QStringLiteral("NULL"));
    QVERIFY(w.frame.action(cmd::kEnableCommunications)->isEnabled());
    QVERIFY(w.frame.action(cmd::kFileOpen)->isEnabled());
    QVERIFY(!w.port.IsOpen());
  }
};

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
