// Tools > System Response: the window's panes on the offscreen platform, its live following of
// page edits, measured drivers from real files, the alignment applied through the pages to a unit
// on a pseudo-terminal, and the exports.
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "app/tools/compare_dialog.h"
#include "app/tools/system_response_window.h"
#include "app/window/commands.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "graph/chart/system_chart_panes.h"
#include "link/frames.h"
#include "pages/delay_page.h"
#include "pages/level_page.h"
#include "pages/page_set.h"
#include "sim/demo_unit.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::Window;
using corvella::graph::chart::Pane;

namespace {

constexpr std::uint8_t kLr4 = 11;
constexpr std::uint8_t kCode1kHz = 69;

// HIGH high-passed and LOW low-passed at 1 kHz with the same filter type, no bands, 0 dB levels.
void SetTwoWay(ProgramParameters& p, std::uint8_t type) {
  for (auto& bands : p.inputPeq) bands[0] = bands[1] = PeqBand{0, kCode1kHz, 24, 30};
  for (auto& bands : p.outputPeq) bands[0] = bands[1] = PeqBand{0, kCode1kHz, 24, 30};
  p.inputLevel[0] = p.inputLevel[1] = p.outputLevel[0] = p.outputLevel[1] = 181;
  p.crossover[0] = {type, kCode1kHz, 0, kLpfOff};
  p.crossover[1] = {0, kHpfOff, type, kCode1kHz};
  p.outputDelay[0] = p.outputDelay[1] = 0;
  p.outputPhase[0] = p.outputPhase[1] = 0;
}

SystemResponseWindow* OpenFromMenu(Window& w) {
  corvella::app::test::TriggerToolsItem(w, QStringLiteral("System Response..."));
  return w.frame.findChild<SystemResponseWindow*>();
}

std::size_t NearestPoint(const graph::SystemCurves& c, double hz) {
  std::size_t best = 0;
  for (std::size_t k = 0; k < c.hz.size(); ++k) {
    if (std::fabs(std::log(c.hz[k] / hz)) < std::fabs(std::log(c.hz[best] / hz))) best = k;
  }
  return best;
}

// Pixels of a pane drawn in the HIGH curve's red and the LOW curve's blue (antialiased edges
// included, so the test does not depend on exact colours).
struct Inked {
  int red = 0;
  int blue = 0;
};
Inked CountCurvePixels(const QImage& image, const QRect& area) {
  Inked inked;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 110 && c.blue() < 110) ++inked.red;
      if (c.blue() > 150 && c.red() < 90 && c.green() < 140) ++inked.blue;
    }
  }
  return inked;
}

bool UnitReceived(ConnectedWindow& c, const std::string& frame) {
  return QTest::qWaitFor(
      [&] {
        const auto frames = c.Frames();
        return std::find(frames.begin(), frames.end(), frame) != frames.end();
      },
      5000);
}

bool WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

}  // namespace

class SystemResponseTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { test::UseEmptyTestSettings(); }
  void cleanup() { test::UseEmptyTestSettings(); }

  void opensBesideTheMainWindowWhereItWasLeftAndAnswersTheKeys() {
    Window w;
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    window->hide();
    window->resize(900, 700);
    // Beside the main window, on its right where there is room, else on its left; with room on
    // neither side, at the screen's right edge, away from the pages at the main window's left.
    const QRect main(0, 0, 1100, 860);
    window->Place(main, QRect(0, 0, 2200, 900));
    QCOMPARE(window->geometry(), QRect(1100, 0, 900, 700));
    window->Place(QRect(1000, 20, 1100, 860), QRect(0, 0, 2100, 900));
    QCOMPARE(window->geometry(), QRect(100, 20, 900, 700));
    window->Place(QRect(0, 20, 1440, 860), QRect(0, 0, 1440, 900));
    QCOMPARE(window->geometry(), QRect(540, 20, 900, 700));
    // Where the operator leaves it is where it opens next time.
    window->setGeometry(QRect(300, 100, 800, 600));
    window->RememberPlace();
    window->Place(main, QRect(0, 0, 2200, 900));
    QCOMPARE(window->geometry(), QRect(300, 100, 800, 600));

    // Ctrl+Z reaches the Edit menu from it; Escape closes it.
    const std::int32_t before = w.session().parameters.outputDelay[0];
    w.view().pageSet().DelayCompressor().CommitDelay(0, before + 100);
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.session().parameters.outputDelay[0], before);
    QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.session().parameters.outputDelay[0], before + 100);
    QTest::keyClick(window->InputChoice(), Qt::Key_Escape);
    QVERIFY(!window->isVisible());
  }

  void toolsMenuOpensOneNonModalResizableWindow() {
    Window w;
    SystemResponseWindow* window = OpenFromMenu(w);
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QVERIFY(window->minimumSize() != window->maximumSize());
    QCOMPARE(window->windowTitle(), QStringLiteral("System Response"));
    QCOMPARE(window->InputChoice()->currentText(), QStringLiteral("LINE"));
    QVERIFY(!window->ApplyButton()->isEnabled());
    // Asking again raises the same window.
    QCOMPARE(OpenFromMenu(w), window);
    QCOMPARE(w.frame.findChildren<SystemResponseWindow*>().size(), 1);
  }

  void screenshotShowsCurvesInEveryPane() {
    Window w;
    // Butterworth 12 dB with HIGH 0.42 ms late: the two outputs part in every pane.
    SetTwoWay(w.session().parameters, 0);
    w.session().parameters.outputDelay[0] = 20;
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    window->resize(1000, 800);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(window->Panes()->Series(Pane::Magnitude, 0)->count() > 500);

    graph::chart::SystemChartPanes* panes = window->Panes();
    const QImage shot = panes->grab().toImage();
    QVERIFY(!shot.isNull());
    // Kept for a look at the window as a whole.
    QVERIFY(
        window->grab().save(QDir::temp().filePath(QStringLiteral("corvella-system-window.png"))));
    const qreal scale = shot.devicePixelRatio();
    for (const Pane pane : {Pane::Magnitude, Pane::Phase, Pane::GroupDelay}) {
      const QRect logical = panes->PaneView(pane)->geometry();
      const QRect area(logical.topLeft() * scale, logical.size() * scale);
      const Inked inked = CountCurvePixels(shot, area);
      QVERIFY2(inked.red > 100, qPrintable(QString::number(int(pane))));
      QVERIFY2(inked.blue > 100, qPrintable(QString::number(int(pane))));
      for (int curve = 0; curve < graph::chart::kCurveCount; ++curve) {
        QVERIFY(panes->Series(pane, curve)->count() > 500);
      }
    }
    // The mouse over the middle of a pane (490 Hz on the logarithmic axis) reads its values.
    auto* view = qobject_cast<QChartView*>(panes->PaneView(Pane::Phase));
    QVERIFY(view != nullptr);
    const QPointF middle = view->chart()->mapToScene(view->chart()->plotArea().center());
    QTest::mouseMove(view->viewport(), view->mapFromScene(middle));
    QTRY_VERIFY2(panes->Readout()->text().startsWith(QStringLiteral("4")) &&
                     panes->Readout()->text().contains(QStringLiteral(" Hz   HIGH: ")),
                 qPrintable(panes->Readout()->text()));

    // The readout names the nearest point's values.
    const QString text = panes->ReadoutText(1000.0);
    QVERIFY2(text.startsWith(QStringLiteral("1.00 kHz   HIGH: -3.0")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(" ms   LOW: -3.0")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral(" ms   HIGH + LOW: ")), qPrintable(text));
  }

  void followsAPageEditAsItIsMade() {
    Window w;
    SetTwoWay(w.session().parameters, kLr4);
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const auto highAt1k = [&] {
      const graph::SystemCurves& c = window->Panes()->Curves();
      return c.high.db[NearestPoint(c, 1000.0)];
    };
    QVERIFY(std::fabs(highAt1k() - -6.02) < 0.1);  // the nearest point is 1001 Hz

    // A step of the level page's slider on HIGH: 0.5 dB, seen without anything else being done.
    w.view().ShowPage(cmd::kHighLevel);
    pages::LevelPage& level = w.view().pageSet().Level();
    QCOMPARE(level.Channel(), 2);
    const double before = highAt1k();
    level.Slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(w.session().parameters.outputLevel[0] != 181);
    QTRY_VERIFY_WITH_TIMEOUT(std::fabs(std::fabs(highAt1k() - before) - 0.5) < 1e-6, 1000);
    QCOMPARE(window->Panes()->Series(Pane::Magnitude, 0)->count(),
             static_cast<int>(window->Panes()->Curves().hz.size()));

    // The input choice takes the MIC chain.
    w.session().parameters.inputPeq[0][0] = PeqBand{1, kCode1kHz, 48, 46};  // MIC +12 dB
    window->InputChoice()->setCurrentIndex(1);
    QTRY_VERIFY(std::fabs(highAt1k() - (before + 12.0)) < 0.6);
  }

  void alignmentIsAppliedThroughThePagesAndSent() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    Window& w = c.window;
    SetTwoWay(w.session().parameters, kLr4);
    w.session().parameters.outputDelay[0] = 40;
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QTest::mouseClick(window->SuggestButton(), Qt::LeftButton);
    QVERIFY(window->Proposal().has_value());
    QVERIFY2(window->ProposalLabel()->text().startsWith(
                 QStringLiteral("HIGH delay 0 (0.0000 ms), polarity Normal")),
             qPrintable(window->ProposalLabel()->text()));
    QVERIFY(window->ProposalLabel()->text().contains(QStringLiteral("before")));
    QVERIFY(window->ApplyButton()->isEnabled());
    QCOMPARE(w.session().parameters.outputDelay[0], 40);  // nothing changes before Apply

    QTest::mouseClick(window->ApplyButton(), Qt::LeftButton);
    QCOMPARE(w.session().parameters.outputDelay[0], 0);
    const std::string delay = link::OutputDelayFrame(sim::kDemoUnitId, Output::High, 0);
    QVERIFY(UnitReceived(c, delay));
    QVERIFY(!window->ApplyButton()->isEnabled());

    // An LR2 pair needs one output inverted: the phase goes out as the level page sends it.
    SetTwoWay(w.session().parameters, 10);
    QTest::mouseClick(window->SuggestButton(), Qt::LeftButton);
    QVERIFY(window->Proposal().has_value());
    QCOMPARE(window->Proposal()->polarity, 1);
    const Output flipped = window->Proposal()->output;
    QTest::mouseClick(window->ApplyButton(), Qt::LeftButton);
    QCOMPARE(w.session().parameters.outputPhase[flipped == Output::High ? 0 : 1], 1);
    const std::string phase = link::OutputPhaseFrame(sim::kDemoUnitId, flipped, 1);
    QVERIFY(UnitReceived(c, phase));

    // The delay and the polarity are each acknowledged: neither takes the other's answer.
    const link::ProtocolEngine& engine = w.view().engine();
    QVERIFY(QTest::qWaitFor([&] { return !engine.PageEditWaiting() && !engine.ChainRunning(); },
                            10000));
    QCOMPARE(w.view().statusBar()->edit()->text(),
             QString::fromStdString(std::string(link::kResponseOk)));

    // Undo takes the alignment back as one step, on the unit too.
    w.frame.UpdateCommandStates();
    QCOMPARE(w.frame.action(cmd::kEditUndo)->text(),
             QStringLiteral("&Undo Apply Alignment\tCtrl+Z"));
    w.view().OnCommand(cmd::kEditUndo);
    QCOMPARE(w.session().parameters.outputPhase[flipped == Output::High ? 0 : 1], 0);
    QVERIFY(UnitReceived(c, link::OutputPhaseFrame(sim::kDemoUnitId, flipped, 0)));
  }

  void driversLoadFromFilesAndBadOnesAreReported() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Window w;
    BoxLog boxes;
    SetTwoWay(w.session().parameters, kLr4);
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    QString answer;
    window->SetFileChooser([&answer](const QString&, const QString&, bool) { return answer; });

    answer = dir.filePath(QStringLiteral("tweeter.frd"));
    QVERIFY(WriteText(answer, "* tweeter\nHz dB deg\n500 88 0\n20000 90 -30\n"));
    QTest::mouseClick(window->LoadDriverButton(Output::High), Qt::LeftButton);
    QVERIFY(boxes.boxes.empty());
    const graph::SystemCurves& c = window->Panes()->Curves();
    QVERIFY(std::isnan(c.high.db[NearestPoint(c, 100.0)]));
    QVERIFY(std::isnan(c.sum.db[NearestPoint(c, 100.0)]));
    QVERIFY(!std::isnan(c.low.db[NearestPoint(c, 100.0)]));
    QVERIFY(std::fabs(c.high.db[NearestPoint(c, 20000.0)] - 90.0) < 0.5);
    QVERIFY(window->findChildren<QLabel*>().size() > 0);
    bool labelled = false;
    for (QLabel* label : window->findChildren<QLabel*>()) {
      labelled = labelled || label->text().startsWith(QStringLiteral("HIGH driver: tweeter.frd"));
    }
    QVERIFY(labelled);
    QVERIFY(window->Panes()->ReadoutText(100.0).contains(QStringLiteral("HIGH: not measured")));

    // A file that is not a measurement: the reason in a box, the driver kept.
    answer = dir.filePath(QStringLiteral("broken.txt"));
    QVERIFY(WriteText(answer, "100 0\n50 0\n"));
    QTest::mouseClick(window->LoadDriverButton(Output::High), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QVERIFY2(boxes.boxes[0].text.endsWith(
                 QStringLiteral("line 2: the frequencies must rise from line to line")),
             qPrintable(boxes.boxes[0].text));
    QVERIFY(std::isnan(window->Panes()->Curves().high.db[0]));  // still the tweeter

    // A cancelled dialog changes nothing.
    answer.clear();
    QTest::mouseClick(window->LoadDriverButton(Output::Low), Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
  }

  void exportsWriteWholeFilesOrReport() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Window w;
    BoxLog boxes;
    SetTwoWay(w.session().parameters, kLr4);
    SystemResponseWindow* window = w.frame.ShowSystemResponse();
    window->resize(800, 640);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->FollowEdits();

    QVERIFY(window->Export(dir.filePath(QStringLiteral("sys.csv"))));
    QFile csv(dir.filePath(QStringLiteral("sys.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.front(),
             QByteArray("frequency_hz,high_db,high_deg,low_db,low_deg,sum_db,sum_deg,"
                        "sum_group_delay_ms"));
    QCOMPARE(lines.size(), 539 + 2);  // header, 1/48 octave 10 Hz - 24 kHz, final newline
    QVERIFY(lines[1].startsWith("10.000,"));

    window->SetFileChooser([&](const QString&, const QString&, bool saving) {
      return saving ? dir.filePath(QStringLiteral("sys.png")) : QString();
    });
    QTest::mouseClick(window->ExportButton(), Qt::LeftButton);
    const QImage png(dir.filePath(QStringLiteral("sys.png")));
    QVERIFY(!png.isNull());
    QVERIFY(png.width() >= window->Panes()->width());
    // A name without an extension takes the chosen filter's.
    window->SetFileChooser([&](const QString&, const QString&, bool) {
      return SystemResponseWindow::ChosenFile(dir.filePath(QStringLiteral("chart")),
                                              QStringLiteral("SVG drawing (*.svg)"));
    });
    QTest::mouseClick(window->ExportButton(), Qt::LeftButton);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("chart.svg"))));

    QVERIFY(window->Export(dir.filePath(QStringLiteral("sys.svg"))));
    QFile svg(dir.filePath(QStringLiteral("sys.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray drawing = svg.readAll();
    QVERIFY(drawing.contains("<svg") && drawing.contains("</svg>"));

    QVERIFY(boxes.boxes.empty());
    QVERIFY(!window->Export(dir.filePath(QStringLiteral("sys.txt"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("sys.txt"))));
    QVERIFY(!window->Export(dir.filePath(QStringLiteral("missing/sys.csv"))));
    QCOMPARE(boxes.boxes.size(), std::size_t{2});
    QVERIFY(boxes.boxes[0].text.endsWith(QStringLiteral("must end in .png, .svg or .csv")));
  }
};

QTEST_MAIN(SystemResponseTest)
#include "system_response_test.moc"
