// Tools > Correct From Measurement...: the window on the offscreen platform with real measurement
// and filter files, "Apply" as one undo step, and the bands reaching a unit on a pseudo-terminal as
// one list of edits.
#include "app/tools/correction_window.h"

#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/window/commands.h"
#include "app_harness.h"
#include "graph/synthetic_measurement.h"
#include "link/frames.h"
#include "sim/demo_unit.h"

using namespace corvella;
using namespace corvella::app;
using namespace corvella::app::test;

namespace {

// What HIGH's bands must take out: three known bands, measured with a little noise.
const std::vector<PeqBand> kKnown = {{1, 33, 14, 52}, {1, 70, 30, 30}, {1, 100, 16, 46}};

bool WriteText(const QString& path, const std::string& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(text.data(), static_cast<qint64>(text.size())) ==
             static_cast<qint64>(text.size());
}

CorrectionWindow* OpenFromMenu(Window& w) {
  TriggerToolsItem(w, QStringLiteral("Correct From Measurement..."));
  return w.frame.findChild<CorrectionWindow*>();
}

}  // namespace

class CorrectionWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void fitsShowsAndAppliesAsOneUndoStep() {
    QTemporaryDir dir;
    Window w;
    BoxLog boxes;
    CorrectionWindow* window = OpenFromMenu(w);
    QVERIFY(window != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QString answer;
    window->SetFileChooser([&answer](const QString&, const QString&, bool) { return answer; });

    answer = dir.filePath(QStringLiteral("high.txt"));
    QVERIFY(WriteText(
        answer, corvella::test::MeasurementText(corvella::test::InverseOfBands(kKnown, 0.2, 11))));
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
      if (b->text() == QStringLiteral("Measurement...")) QTest::mouseClick(b, Qt::LeftButton);
    }
    QVERIFY(boxes.boxes.empty());
    QVERIFY(window->Fit().has_value());
    QVERIFY(window->Fit()->after.rmsDb < 0.2);
    QVERIFY(window->FiguresLabel()->text().startsWith(QStringLiteral("Before: RMS ")));
    QVERIFY(window->FiguresLabel()->text().contains(QStringLiteral("Band 6: ")));
    for (int curve = 0; curve < 3; ++curve) QVERIFY(window->Series(curve)->count() >= 2);

    // The LOW stage takes the same fit; Apply puts it there, one step, pages reloaded.
    window->StageChoice()->setCurrentIndex(1);
    const ProgramParameters before = w.session().parameters;
    QTest::mouseClick(window->ApplyButton(), Qt::LeftButton);
    const std::vector<PeqBand> applied = StageBands(w.session().parameters, EqStage::Low);
    QVERIFY(applied == window->Fit()->bands);
    QVERIFY(StageBands(w.session().parameters, EqStage::High) == StageBands(before, EqStage::High));
    w.frame.UpdateCommandStates();
    QCOMPARE(w.frame.action(cmd::kEditUndo)->text(),
             QStringLiteral("&Undo Correct From Measurement\tCtrl+Z"));
    w.view().OnCommand(cmd::kEditUndo);
    QVERIFY(w.session().parameters == before);

    // A file that is not a measurement: the reason and its line in a box, the fit kept.
    answer = dir.filePath(QStringLiteral("broken.txt"));
    QVERIFY(WriteText(answer, "20 80\n30 81\nthirty 82\n"));
    QVERIFY(!window->LoadMeasurement(answer));
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QVERIFY2(boxes.boxes[0].text.endsWith(QStringLiteral("line 3: not a point: a line of frequency "
                                                         "and level was expected")),
             qPrintable(boxes.boxes[0].text));
    QVERIFY(window->Fit().has_value());
  }

  void filterTextGoesInAndOutOfTheChosenStage() {
    QTemporaryDir dir;
    Window w;
    BoxLog boxes;
    CorrectionWindow* window = w.frame.ShowCorrection();
    window->StageChoice()->setCurrentIndex(2);  // MIC input
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    QVERIFY(WriteText(in, "Preamp: -3 dB\nFilter 1: ON PK Fc 1010 Hz Gain -3.2 dB Q 4.4\n"));
    QVERIFY(window->ImportFilters(in));
    QCOMPARE(StageBands(w.session().parameters, EqStage::InputMic)[0], (PeqBand{1, 69, 18, 46}));
    QCOMPARE(StageBands(w.session().parameters, EqStage::InputMic)[1].type, std::uint8_t{0});
    QVERIFY(window->FiguresLabel()->text().contains(QStringLiteral("Largest curve difference: ")));
    w.frame.UpdateCommandStates();
    QCOMPARE(w.frame.action(cmd::kEditUndo)->text(),
             QStringLiteral("&Undo Import Filters\tCtrl+Z"));

    const QString out = dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(window->ExportFilters(out));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 4.33\n"));

    QVERIFY(WriteText(in, "Filter 1: ON APF Fc 100 Hz Q 1\n"));
    QVERIFY(!window->ImportFilters(in));
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QVERIFY(
        boxes.boxes[0].text.endsWith(QStringLiteral("line 1: the unit has no filter of type APF")));
  }

  void appliedBandsReachAConnectedUnitAsOneList() {
    QTemporaryDir dir;
    ConnectedWindow c;
    QVERIFY(c.opened);
    Window& w = c.window;
    CorrectionWindow* window = w.frame.ShowCorrection();
    const QString path = dir.filePath(QStringLiteral("high.txt"));
    QVERIFY(WriteText(
        path, corvella::test::MeasurementText(corvella::test::InverseOfBands(kKnown, 0.2, 12))));
    QVERIFY(window->LoadMeasurement(path));
    QTest::mouseClick(window->ApplyButton(), Qt::LeftButton);
    QVERIFY(w.view().engine().ChainRunning());
    // The unit ends up holding HIGH's new bands, and nothing but what differed was sent.
    QVERIFY(QTest::qWaitFor(
        [&] {
          const auto unit = c.host->Unit(0);
          return unit && StageBands(unit->Current(), EqStage::High) == window->Fit()->bands;
        },
        20000));
    QVERIFY(QTest::qWaitFor([&] { return !w.view().engine().ChainRunning(); }, 5000));
    for (const std::string& frame : c.Frames()) {
      QVERIFY2(frame.find("$04") != std::string::npos, frame.c_str());
    }
  }
};

QTEST_MAIN(CorrectionWindowTest)
#include "correction_window_test.moc"
