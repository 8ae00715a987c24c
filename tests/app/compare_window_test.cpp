// The Tools menu against a virtual unit on a pseudo-terminal: the comparison dialog's table, its
// two ways of making the PC and the unit equal, the menu's enabling, and the check after a
// download with its setting kept between runs.
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>

#include "app/dialogs/select_dialog.h"
#include "app/tools/compare_dialog.h"
#include "app/window/commands.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "link/frames.h"
#include "model/value_input.h"
#include "pages/crossover_page.h"
#include "pages/page_set.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::DialogDriver;
using corvella::app::test::Row;
using corvella::app::test::Window;

namespace {

constexpr int kReadMs = 60000;

ProgramParameters UnitProgram(sim::VirtualUnitHost& host) {
  ProgramParameters p{};
  host.WithUnit(0, [&p](sim::VirtualUnit& unit) { p = unit.Current(); });
  return p;
}

void SetName(ProgramParameters& p, std::string_view name) {
  for (std::size_t i = 0; i < p.programName.size(); ++i)
    p.programName[i] = i < name.size() ? name[i] : '.';
}

// The comparison has ended once the dialog shows and no chain runs any more.
bool ComparisonShown(MainView& view) {
  const bool shown = QTest::qWaitFor(
      [&] { return view.compareDialog()->isVisible() && !view.engine().ChainRunning(); },
      kReadMs);
  if (!shown) qWarning() << "status:" << view.statusLine()->text();
  return shown;
}

// The PC's set replaced as a file load replaces it, pages included.
void SetPcProgram(MainView& view, const ProgramParameters& p) {
  view.session().parameters = p;
  view.ReloadAllPages(link::ReloadForm::FileLoad);
}

std::size_t Count(const std::vector<std::string>& frames, const std::string& frame) {
  return static_cast<std::size_t>(std::count(frames.begin(), frames.end(), frame));
}

}  // namespace

class CompareWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { test::UseEmptyTestSettings(); }
  void cleanup() { test::UseEmptyTestSettings(); }

  void compareFollowsTheLink() {
    {
      Window w;
      w.frame.UpdateCommandStates();
      QVERIFY(!w.frame.action(cmd::kCompareWithDevice)->isEnabled());
      // A greyed item's shortcut or a stray call starts nothing either.
      w.view().OnCommand(cmd::kCompareWithDevice);
      QVERIFY(!w.view().engine().ChainRunning());
      QVERIFY(w.frame.action(cmd::kVerifyAfterDownload)->isEnabled());
      QVERIFY(w.frame.action(cmd::kVerifyAfterDownload)->isCheckable());
      QVERIFY(!w.frame.action(cmd::kVerifyAfterDownload)->isChecked());
    }

    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    frame.UpdateCommandStates();
    QAction* compare = frame.action(cmd::kCompareWithDevice);
    QVERIFY(compare->isEnabled());
    compare->trigger();
    QVERIFY(c.window.view().engine().ChainRunning());
    QVERIFY(!compare->isEnabled());
    QVERIFY(!frame.action(cmd::kListProgram)->isEnabled());
    QVERIFY(ComparisonShown(c.window.view()));
    QVERIFY(compare->isEnabled());
  }

  void tableListsEachDifferenceAndSendMakesTheUnitEqual() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    BoxLog boxes;
    ProgramParameters pc = UnitProgram(*c.host);
    pc.crossover[1].hpfFrequency = 9;
    SetName(pc, "Compared on the PC");
    pc.programNumber = 5;  // which memory, not what the program is: never a difference
    SetPcProgram(view, pc);
    QVERIFY(c.host->WithUnit(0, [](sim::VirtualUnit& unit) {
      unit.Current().crossover[1].hpfFrequency = 12;
      unit.Current().programNumber = 2;
    }));

    c.window.frame.UpdateCommandStates();  // as the menu does when it opens
    c.window.frame.action(cmd::kCompareWithDevice)->trigger();
    QVERIFY(ComparisonShown(view));
    QVERIFY(c.window.session().parameters == pc);  // the read leaves the PC's set alone
    CompareDialog& dialog = *view.compareDialog();
    const QTableWidget& table = *dialog.table();
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(Row(table, 0)[0], QStringLiteral("Program"));
    QCOMPARE(Row(table, 0)[1], QStringLiteral("name"));
    QVERIFY(Row(table, 0)[2].startsWith(QStringLiteral("Compared on the PC")));
    QVERIFY(Row(table, 0)[3].startsWith(QStringLiteral("Demo Program")));
    QCOMPARE(Row(table, 1),
             (QStringList{QStringLiteral("Crossover LOW"), QStringLiteral("hpf frequency"),
                          QStringLiteral("9 31.5Hz"),
                          QStringLiteral("12 ") + QString::fromStdString(HpfFrequencyText(12))}));
    QCOMPARE(dialog.summary()->text(), QStringLiteral("2 parameters differ from the device."));
    QVERIFY(dialog.sendButton()->isEnabled());
    QVERIFY(dialog.takeButton()->isEnabled());
    QVERIFY(dialog.closeButton()->isDefault());

    const std::size_t before = c.Frames().size();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QVERIFY(!dialog.sendButton()->isEnabled());  // busy while the edits go out
    QVERIFY(QTest::qWaitFor(
        [&] { return table.rowCount() == 0 && !view.engine().ChainRunning(); }, kReadMs));
    QCOMPARE(dialog.summary()->text(), QString::fromLatin1(kCompareEqualText));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.sendButton()->isEnabled());
    QVERIFY(!dialog.takeButton()->isEnabled());

    // Only what differed went out, each once, and the unit now holds the PC's program.
    const std::vector<std::string> all = c.Frames();
    const std::vector<std::string> sent(all.begin() + static_cast<long>(before), all.end());
    const std::string name(pc.programName.begin(), pc.programName.end());
    QCOMPARE(Count(sent, link::ProgramNameFrame(sim::kDemoUnitId, name)), std::size_t{1});
    QCOMPARE(Count(sent, link::HpfFrequencyFrame(sim::kDemoUnitId, Output::Low, 9)),
             std::size_t{1});
    QCOMPARE(std::count_if(sent.begin(), sent.end(),
                           [](const std::string& f) { return f.find('$') != std::string::npos; }),
             1L);
    QVERIFY(DiffParameters(pc, UnitProgram(*c.host)).empty());
    QVERIFY(c.window.session().parameters == pc);
    QVERIFY(boxes.boxes.empty());

    QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
  }

  // Sending while a page edit still waits for its answer: both arrive, and neither answer is
  // taken for the other's.
  void sendWaitsForAPageEditsAnswer() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    BoxLog boxes;
    ProgramParameters pc = UnitProgram(*c.host);
    pc.crossover[1].hpfFrequency = 9;
    pc.outputLevel[0] = static_cast<std::uint8_t>(pc.outputLevel[0] - 10);
    SetPcProgram(view, pc);
    QVERIFY(c.host->WithUnit(
        0, [](sim::VirtualUnit& unit) { unit.Current().crossover[1].hpfFrequency = 12; }));
    c.window.frame.action(cmd::kCompareWithDevice)->trigger();
    QVERIFY(ComparisonShown(view));
    QCOMPARE(view.compareDialog()->table()->rowCount(), 2);

    view.session().parameters.outputPhase[1] = 1;
    QVERIFY(view.engine().SendEdit({Field::Phase, 1, 0}));
    QVERIFY(view.engine().PageEditWaiting());
    QTest::mouseClick(view.compareDialog()->sendButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(
        [&] {
          return view.compareDialog()->table()->rowCount() == 0 &&
                 !view.engine().ChainRunning() && !view.engine().PageEditWaiting();
        },
        kReadMs));
    pc.outputPhase[1] = 1;
    QVERIFY(DiffParameters(pc, UnitProgram(*c.host)).empty());
    QVERIFY(boxes.boxes.empty());
  }

  void takeMakesThePcSetTheUnits() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    BoxLog boxes;
    ProgramParameters pc = UnitProgram(*c.host);
    pc.crossover[0].hpfFrequency = 9;
    pc.outputLevel[1] = 20;
    SetPcProgram(view, pc);
    QVERIFY(c.host->WithUnit(0, [](sim::VirtualUnit& unit) {
      unit.Current().crossover[0].hpfFrequency = 12;
      unit.Current().outputLevel[1] = 30;
    }));
    view.OnCommand(cmd::kHighCrossover);
    pages::CrossoverPage& crossover = view.pageSet().Crossover();
    QCOMPARE(crossover.HpfFrequencyEdit()->text(), QString::fromStdString(HpfFrequencyText(9)));

    view.OnCommand(cmd::kCompareWithDevice);
    QVERIFY(ComparisonShown(view));
    CompareDialog& dialog = *view.compareDialog();
    QCOMPARE(dialog.table()->rowCount(), 2);
    QCOMPARE(dialog.summary()->text(), QStringLiteral("2 parameters differ from the device."));

    const std::size_t before = c.Frames().size();
    QTest::mouseClick(dialog.takeButton(), Qt::LeftButton);
    const ProgramParameters unit = UnitProgram(*c.host);
    QVERIFY(c.window.session().parameters == unit);
    QCOMPARE(c.window.session().parameters.outputLevel[1], std::uint8_t{30});
    QCOMPARE(crossover.HpfFrequencyEdit()->text(), QString::fromStdString(HpfFrequencyText(12)));
    QCOMPARE(dialog.table()->rowCount(), 0);
    QCOMPARE(dialog.summary()->text(), QString::fromLatin1(kCompareEqualText));
    QCOMPARE(c.Frames().size(), before);  // taking the unit's values sends nothing
    QVERIFY(boxes.boxes.empty());
  }

  void aFailedReadOpensNothing() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    BoxLog boxes;
    sim::FaultPlan silent;
    silent.silent = true;
    QVERIFY(c.host->SetFaults(0, silent));
    const ProgramParameters before = c.window.session().parameters;
    view.OnCommand(cmd::kCompareWithDevice);
    QVERIFY(view.engine().ChainRunning());
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kReadMs));
    QCoreApplication::processEvents();
    QVERIFY(!view.compareDialog()->isVisible());
    QVERIFY(c.window.session().parameters == before);
  }

  void verifyAfterDownloadIsRemembered() {
    QVERIFY(!QFile::exists(ToolsSettingsPath()));
    {
      Window w;
      QAction* verify = w.frame.action(cmd::kVerifyAfterDownload);
      QVERIFY(!verify->isChecked());
      verify->trigger();
      QVERIFY(verify->isChecked());
      QVERIFY(w.view().verifyAfterDownload());
    }
    QVERIFY(QFile::exists(ToolsSettingsPath()));
    {
      Window w;
      QVERIFY(w.view().verifyAfterDownload());
      QAction* verify = w.frame.action(cmd::kVerifyAfterDownload);
      QVERIFY(verify->isChecked());
      w.view().OnCommand(cmd::kVerifyAfterDownload);
      QVERIFY(!verify->isChecked());
    }
    Window w;
    QVERIFY(!w.view().verifyAfterDownload());
    QVERIFY(!w.frame.action(cmd::kVerifyAfterDownload)->isChecked());
  }

  void fastTransferIsRememberedAndSetsTheEngine() {
    QVERIFY(!QFile::exists(ToolsSettingsPath()));
    {
      Window w;
      QAction* fast = w.frame.action(cmd::kFastTransfer);
      QVERIFY(fast->isCheckable());
      QVERIFY(fast->isEnabled());
      QVERIFY(!fast->isChecked());
      QVERIFY(!w.view().engine().FastTransfer());
      fast->trigger();
      QVERIFY(fast->isChecked());
      QVERIFY(w.view().engine().FastTransfer());
      // The two items are kept apart.
      QVERIFY(!w.frame.action(cmd::kVerifyAfterDownload)->isChecked());
    }
    QVERIFY(QFile::exists(ToolsSettingsPath()));
    QVERIFY(LoadFastTransfer());
    QVERIFY(!LoadVerifyAfterDownload());
    {
      Window w;
      QVERIFY(w.view().engine().FastTransfer());
      QAction* fast = w.frame.action(cmd::kFastTransfer);
      QVERIFY(fast->isChecked());
      w.view().OnCommand(cmd::kFastTransfer);
      QVERIFY(!fast->isChecked());
      QVERIFY(!w.view().engine().FastTransfer());
    }
    Window w;
    QVERIFY(!w.view().engine().FastTransfer());
    QVERIFY(!w.frame.action(cmd::kFastTransfer)->isChecked());
  }

  void verifyAfterDownloadShowsWhatTheUnitDidNotTake() {
    SaveVerifyAfterDownload(true);
    sim::VirtualUnitHost host({sim::MakeDemoUnit()});
    QVERIFY(host.Start());
    // The unit acknowledges the HIGH output level but keeps its own.
    sim::FaultPlan plan;
    plan.ignoreWritesFor.prefixes = {"$049"};
    QVERIFY(host.SetFaults(0, plan));
    const ProgramParameters unitBefore = UnitProgram(host);

    Window w({host.SlavePath()});
    MainView& view = w.view();
    QVERIFY(view.verifyAfterDownload());
    BoxLog boxes;
    ProgramParameters pc = unitBefore;
    pc.outputLevel[0] = static_cast<std::uint8_t>(unitBefore.outputLevel[0] == 40 ? 41 : 40);
    pc.crossover[1].lpfFrequency = static_cast<std::uint8_t>(unitBefore.crossover[1].lpfFrequency == 20 ? 21 : 20);
    SetPcProgram(view, pc);
    DialogDriver select([](QDialog& d) {
      auto& dialog = dynamic_cast<SelectDialog&>(d);
      dialog.downloadButton()->setChecked(true);
      dialog.accept();
    });
    view.OnCommand(cmd::kEnableCommunications);
    QVERIFY(ComparisonShown(view));
    QCOMPARE(select.runs, 1);

    // The level the unit ignored is the one difference; the frequency it took is not listed.
    const QTableWidget& table = *view.compareDialog()->table();
    QCOMPARE(table.rowCount(), 1);
    QCOMPARE(Row(table, 0)[1], QStringLiteral("HIGH level"));
    QCOMPARE(UnitProgram(host).crossover[1].lpfFrequency, pc.crossover[1].lpfFrequency);
    QVERIFY(w.session().parameters == pc);
  }
};

QTEST_MAIN(CompareWindowTest)
#include "compare_window_test.moc"
