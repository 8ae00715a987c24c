// The crossover, delay/compressor and level pages driven through their real widgets, with the
// engine connected: what the operator sees, what the parameter set holds, what the unit is sent.
#include <QComboBox>
#include <QRadioButton>
#include <QStyleOptionSlider>
#include <QtTest>

#include "graph/graph_frame.h"
#include "graph/paint/graph_painter.h"
#include "link/frames.h"
#include "support/page_harness.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/level_page.h"

namespace corvella::pages::testing {

namespace {

using Frames = std::vector<std::string>;

QString Text(const QLineEdit* edit) {
  return edit->text();
}

// Clicks into an edit (which selects its text) and types over it.
void TypeInto(QLineEdit* edit, const QString& text) {
  QTest::mouseClick(edit, Qt::LeftButton);
  QTest::keyClicks(edit, text);
}

int CountPixels(const QImage& image, int row, int fromX, int toX, const QColor& color,
                int skipX = -1) {
  int count = 0;
  for (int x = fromX; x <= toX; ++x) {
    if (x != skipX && image.pixelColor(x, row) == color) ++count;
  }
  return count;
}

}  // namespace

class PagesBTest : public QObject {
  Q_OBJECT

 private slots:
  void crossoverBarsOffEndsAndDrag();
  void crossoverTypeAndChannelSwitch();
  void crossoverGraphShowsTheLinkwitzRileyCutOff();
  void delayTypedWithEnter();
  void delayLeftByTabOrClickIsCommitted();
  void delayBarAndDisconnectedLink();
  void compressorCommitsOnEveryFocusLoss();
  void compressorBarsSendEveryStep();
  void textWithoutANumberCommitsNothing();
  void keysAndWheelStepEverySpinnerAsItsArrowsDo();
  void levelSliderFramesAfterThePause();
  void levelDragSendsFewFramesEndingWithTheLast();
  void phaseResentOnEachClick();
  void levelGraphInputLines();
};

void PagesBTest::crossoverBarsOffEndsAndDrag() {
  PageHarness h;
  CrossoverPage page(h.context, &h.window);
  h.session.parameters.crossover[0] = {2, 1, 2, 121};
  page.LoadChannel(0);
  QCOMPARE(page.HpfFrequencyBar()->value(), 120);
  QCOMPARE(Text(page.HpfFrequencyEdit()), QStringLiteral("20.0Hz"));

  // One line down at the bottom of the scale switches the high-pass off.
  page.HpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(h.session.parameters.crossover[0].hpfFrequency, kHpfOff);
  QCOMPARE(Text(page.HpfFrequencyEdit()), QStringLiteral("Off"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$0421000)"});
  QCOMPARE(h.timers.armed.at(link::timers::kHpfFrequency), 300);
  // Past the end the position and the code stay: nothing is stored, drawn or sent.
  page.HpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(page.HpfFrequencyBar()->value(), 121);
  QVERIFY(h.TakeFrames().empty());

  // The low-pass goes off above its top entry.
  page.LpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  QCOMPARE(h.session.parameters.crossover[0].lpfFrequency, kLpfOff);
  QCOMPARE(Text(page.LpfFrequencyEdit()), QStringLiteral("Off"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$0441122)"});

  // Page steps do nothing, and the thumb does not wander away from the value.
  page.LpfFrequencyBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QCOMPARE(page.LpfFrequencyBar()->value(), 0);
  QVERIFY(h.TakeFrames().empty());

  // Dragging the thumb changes nothing until it is released.
  SpinBar* bar = page.HpfFrequencyBar();
  bar->setSliderDown(true);
  bar->setSliderPosition(60);
  bar->setSliderPosition(52);
  QCOMPARE(h.session.parameters.crossover[0].hpfFrequency, kHpfOff);
  QVERIFY(h.TakeFrames().empty());
  bar->setSliderDown(false);
  QCOMPARE(h.session.parameters.crossover[0].hpfFrequency, 121 - 52);
  QCOMPARE(Text(page.HpfFrequencyEdit()), QStringLiteral("1.00kHz"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$0421069)"});
}

void PagesBTest::crossoverTypeAndChannelSwitch() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new CrossoverPage(h.context, &h.window);
  page->show();
  page->LoadChannel(0);
  QCOMPARE(page->HpfTypeList()->currentText(), QStringLiteral("-24dB Butterworth"));
  QCOMPARE(page->LpfTypeList()->count(), 12);

  page->LpfTypeList()->setFocus();
  QTest::keyClick(page->LpfTypeList(), Qt::Key_Down);
  QCOMPARE(h.session.parameters.crossover[0].lpfType, 3);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0431003)"});
  QVERIFY(h.timers.IsArmed(link::timers::kLpfType));

  // Every step is judged against the shown output's own cut-off: after switching to LOW, a step to
  // the code last applied on HIGH is a change for LOW and is applied and sent.
  page->HpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);  // HIGH: 33 -> 34
  QCOMPARE(h.TakeFrames(), Frames{"(01$0421034)"});
  h.session.parameters.crossover[1].hpfFrequency = 35;
  page->LoadChannel(1);
  QCOMPARE(Text(page->HpfFrequencyEdit()), QStringLiteral("140.0Hz"));
  page->HpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // LOW: 35 -> 34
  QCOMPARE(h.session.parameters.crossover[1].hpfFrequency, 34);
  QCOMPARE(h.session.parameters.crossover[0].hpfFrequency, 34);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0422034)"});
  page->HpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // 33
  QCOMPARE(h.TakeFrames(), Frames{"(01$0422033)"});
  // A reload that puts the stored code back where the bar last left it: a step is still sent.
  h.session.parameters.crossover[1].lpfFrequency = 100;
  page->LoadChannel(1);
  page->LpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);  // 101
  h.session.parameters.crossover[1].lpfFrequency = 100;
  page->LoadChannel(1);
  page->LpfFrequencyBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);  // 101 again
  QCOMPARE(h.TakeFrames(), (Frames{"(01$0442101)", "(01$0442101)"}));
}

void PagesBTest::crossoverGraphShowsTheLinkwitzRileyCutOff() {
  PageHarness h;
  QVERIFY(h.Activate());
  h.session.parameters.crossover[0] = {11, 69, 2, kLpfOff};  // -24dB Linkwitz-Riley at 1.00 kHz
  auto* page = new CrossoverPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  // The graph is drawn by the page's own timer after the page has painted.
  QTRY_VERIFY(page->Graph()->HasGraph());
  QVERIFY(std::abs(h.crossover.db[0][69] - (-6.02)) < 0.01);

  const QImage& graph = page->Graph()->Picture();
  const int cutX = graph::GraphPointX[69];
  const int cutRow = 72;  // 56 - trunc(2.75 x -6.02)
  // The marker's tick crosses the cut-off column at the curve's row there, in dash-dot blue.
  QVERIFY(CountPixels(graph, cutRow, cutX - 20, cutX + 20, graph::paint::kMarkerPen, cutX) > 10);
  QCOMPARE(CountPixels(graph, cutRow - 1, cutX - 20, cutX + 20, graph::paint::kMarkerPen, cutX), 0);
  // The HIGH output's curve is yellow: flat at 0 dB far above the cut-off, falling below it.
  QCOMPARE(graph.pixelColor(graph::GraphPointX[110], 56), graph::paint::kYellowPen);
  QCOMPARE(graph.pixelColor(graph::GraphPointX[100], 56), graph::paint::kYellowPen);
  const int belowRow = graph::RowForDb(h.crossover.db[0][57], graph::kOutputPixelsPerDb);
  QVERIFY(belowRow > 100);
  QCOMPARE(graph.pixelColor(graph::GraphPointX[57], belowRow), graph::paint::kYellowPen);
}

void PagesBTest::delayTypedWithEnter() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new DelayCompressorPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  DecimalEdit* ms = page->DelayEdit(DelayUnit::Milliseconds);
  QCOMPARE(Text(ms), QStringLiteral("1.1875"));  // 57 steps

  TypeInto(ms, QStringLiteral("21.3"));
  QTest::keyClick(ms, Qt::Key_Return);
  QVERIFY(!ms->hasFocus());
  QCOMPARE(h.session.parameters.outputDelay[0], 1019);
  QCOMPARE(Text(ms), QStringLiteral("21.2292"));
  QCOMPARE(Text(page->DelayEdit(DelayUnit::Metres)), QStringLiteral("  7.2179"));
  QCOMPARE(Text(page->DelayEdit(DelayUnit::Feet)), QStringLiteral("23.6748"));
  QCOMPARE(Text(page->DelayEdit(DelayUnit::Inches)), QStringLiteral("284.1694"));
  QCOMPARE(page->DelayBar()->value(), 0);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0511001019)"});
  QCOMPARE(h.timers.armed.at(link::timers::kDelay), 200);

  DecimalEdit* metres = page->DelayEdit(DelayUnit::Metres);
  TypeInto(metres, QStringLiteral("1"));
  QTest::keyClick(metres, Qt::Key_Escape);
  QCOMPARE(h.session.parameters.outputDelay[0], 141);
  QCOMPARE(Text(ms), QStringLiteral("2.9375"));
  QCOMPARE(Text(metres), QStringLiteral("  0.9988"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$0511000141)"});

  // Enter on the text as it stands changes and sends nothing; the same delay typed anew is sent.
  QTest::mouseClick(ms, Qt::LeftButton);
  QTest::keyClick(ms, Qt::Key_Return);
  QVERIFY(h.TakeFrames().empty());
  TypeInto(ms, QStringLiteral("2.9375000"));
  QTest::keyClick(ms, Qt::Key_Return);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0511000141)"});
}

void PagesBTest::delayLeftByTabOrClickIsCommitted() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new DelayCompressorPage(h.context, &h.window);
  page->LoadChannel(1);
  page->show();
  DecimalEdit* ms = page->DelayEdit(DelayUnit::Milliseconds);
  DecimalEdit* metres = page->DelayEdit(DelayUnit::Metres);
  DecimalEdit* inches = page->DelayEdit(DelayUnit::Inches);

  // A click elsewhere commits what was typed, as Enter does, and so does Tab.
  TypeInto(metres, QStringLiteral("1"));
  QTest::mouseClick(inches, Qt::LeftButton);
  QCOMPARE(h.session.parameters.outputDelay[1], 141);
  QCOMPARE(Text(ms), QStringLiteral("2.9375"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$0512000141)"});
  TypeInto(ms, QStringLiteral("1.1875"));
  QTest::keyClick(ms, Qt::Key_Tab);
  QVERIFY(!ms->hasFocus());
  QCOMPARE(h.session.parameters.outputDelay[1], 57);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0512000057)"});
  // An edit passed through without typing sends nothing.
  QTest::mouseClick(metres, Qt::LeftButton);
  QTest::keyClick(metres, Qt::Key_Tab);
  QVERIFY(h.TakeFrames().empty());

  // An edit greyed under the focus (a chain starting) commits nothing and shows the stored delay.
  TypeInto(inches, QStringLiteral("99"));
  page->setEnabled(false);
  QVERIFY(!inches->hasFocus());
  QCOMPARE(h.session.parameters.outputDelay[1], 57);
  QCOMPARE(Text(ms), QStringLiteral("1.1875"));
  QVERIFY(Text(inches) != QStringLiteral("99"));
  QVERIFY(h.TakeFrames().empty());
}

void PagesBTest::delayBarAndDisconnectedLink() {
  PageHarness h;
  h.session.link.linkConnected = 0;
  DelayCompressorPage page(h.context, &h.window);
  page.LoadChannel(0);
  // Dragging the thumb applies every position that changes the delay.
  SpinBar* bar = page.DelayBar();
  bar->setSliderDown(true);
  bar->setSliderPosition(kMaxDelaySteps - 480);
  bar->setSliderDown(false);
  QCOMPARE(h.session.parameters.outputDelay[0], 480);
  QCOMPARE(Text(page.DelayEdit(DelayUnit::Milliseconds)), QStringLiteral("10.0000"));
  QCOMPARE(Text(page.DelayEdit(DelayUnit::Metres)), QStringLiteral("  3.4000"));
  // Stored and shown, but nothing goes out while no unit is connected, and nothing later.
  QVERIFY(h.port.frames.empty());
  QVERIFY(h.timers.armed.empty());
  h.session.link.linkConnected = 1;
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0511000479)"});
}

void PagesBTest::compressorCommitsOnEveryFocusLoss() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new DelayCompressorPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  QCOMPARE(Text(page->ThresholdEdit()), QStringLiteral("-18.5 dB"));
  QCOMPARE(Text(page->RatioEdit()), QStringLiteral("Infinity"));

  // The threshold edit takes a minus sign but no letters.
  TypeInto(page->ThresholdEdit(), QStringLiteral("-0.2k"));
  QCOMPARE(Text(page->ThresholdEdit()), QStringLiteral("-0.2"));
  QTest::keyClick(page->ThresholdEdit(), Qt::Key_Tab);
  QCOMPARE(h.session.parameters.dynamics.threshold, 98);
  QCOMPARE(Text(page->ThresholdEdit()), QStringLiteral("-0.5dB"));
  QCOMPARE(page->ThresholdBar()->value(), 1);
  QCOMPARE(h.TakeFrames(), Frames{"(01$059100984848000099575956)"});
  QCOMPARE(h.timers.armed.at(link::timers::kCompressor), 500);

  TypeInto(page->RatioEdit(), QStringLiteral("4"));
  QTest::mouseClick(page->ReleaseEdit(), Qt::LeftButton);
  QCOMPARE(h.session.parameters.dynamics.ratio, 74);
  QCOMPARE(Text(page->RatioEdit()), QStringLiteral("3.96 : 1"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$059100984848000074575956)"});

  QTest::keyClicks(page->ReleaseEdit(), QStringLiteral("0.09"));
  QTest::keyClick(page->ReleaseEdit(), Qt::Key_Return);
  QCOMPARE(h.session.parameters.dynamics.releaseTime, 11);
  QCOMPARE(Text(page->ReleaseEdit()), QStringLiteral("0.082ms"));
  QCOMPARE(page->ReleaseBar()->value(), 74 - 11);
  QCOMPARE(h.TakeFrames(), Frames{"(01$059100984848000074571156)"});

  // Passing through an edit sends again and keeps its value, also for a rounded ratio.
  QTest::mouseClick(page->RatioEdit(), Qt::LeftButton);
  QTest::mouseClick(page->AttackEdit(), Qt::LeftButton);
  QTest::keyClick(page->AttackEdit(), Qt::Key_Tab);
  QCOMPARE(h.session.parameters.dynamics.ratio, 74);
  QCOMPARE(h.session.parameters.dynamics.attackTime, 56);
  QCOMPARE(h.TakeFrames(),
           (Frames{"(01$059100984848000074571156)", "(01$059100984848000074571156)"}));
}

void PagesBTest::textWithoutANumberCommitsNothing() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new DelayCompressorPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  const Dynamics before = h.session.parameters.dynamics;

  // An emptied threshold left with Tab keeps -18.5 dB and sends nothing; Tab lands in the ratio
  // edit, whose own "Infinity" is a value: leaving it sends, as every focus loss there does.
  QTest::mouseClick(page->ThresholdEdit(), Qt::LeftButton);
  QTest::keyClick(page->ThresholdEdit(), Qt::Key_Delete);
  QCOMPARE(Text(page->ThresholdEdit()), QString());
  QTest::keyClick(page->ThresholdEdit(), Qt::Key_Tab);
  QCOMPARE(Text(page->ThresholdEdit()), QStringLiteral("-18.5 dB"));
  QVERIFY(page->RatioEdit()->hasFocus());
  QVERIFY(h.TakeFrames().empty());
  // A lone minus sign, a dot and blanks in the other edits.
  TypeInto(page->ThresholdEdit(), QStringLiteral("-"));
  QCOMPARE(Text(page->RatioEdit()), QStringLiteral("Infinity"));
  QCOMPARE(h.TakeFrames(), Frames{"(01$059100624848000099575956)"});
  TypeInto(page->ReleaseEdit(), QStringLiteral(" . "));
  TypeInto(page->AttackEdit(), QStringLiteral("  "));
  h.window.setFocus();
  QCOMPARE(Text(page->ThresholdEdit()), QStringLiteral("-18.5 dB"));
  QCOMPARE(Text(page->ReleaseEdit()), QStringLiteral("820.000 ms"));
  QCOMPARE(Text(page->AttackEdit()), QStringLiteral("470.000 ms"));
  const Dynamics& after = h.session.parameters.dynamics;
  QCOMPARE(
      (std::array<int, 4>{after.threshold, after.ratio, after.releaseTime, after.attackTime}),
      (std::array<int, 4>{before.threshold, before.ratio, before.releaseTime, before.attackTime}));
  QVERIFY(h.TakeFrames().empty());

  // An emptied delay with Enter is no 0 ms: the four texts show the stored delay again.
  DecimalEdit* ms = page->DelayEdit(DelayUnit::Milliseconds);
  QTest::mouseClick(ms, Qt::LeftButton);
  QTest::keyClick(ms, Qt::Key_Delete);
  QTest::keyClick(ms, Qt::Key_Return);
  QVERIFY(!ms->hasFocus());
  QCOMPARE(Text(ms), QStringLiteral("1.1875"));
  QCOMPARE(h.session.parameters.outputDelay[0], 57);
  QCOMPARE(page->DelayBar()->value(), kMaxDelaySteps - 57);
  // A dot alone is no number either.
  TypeInto(page->DelayEdit(DelayUnit::Metres), QStringLiteral("."));
  QTest::keyClick(page->DelayEdit(DelayUnit::Metres), Qt::Key_Return);
  QCOMPARE(Text(page->DelayEdit(DelayUnit::Metres)), QStringLiteral("  0.4038"));
  QCOMPARE(h.session.parameters.outputDelay[0], 57);
  QVERIFY(h.TakeFrames().empty());
}

void PagesBTest::keysAndWheelStepEverySpinnerAsItsArrowsDo() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new DelayCompressorPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  const ProgramParameters start = h.session.parameters;
  struct Spinner {
    QLineEdit* edit;
    SpinBar* bar;
  };
  const std::vector<Spinner> spinners = {
      {page->DelayEdit(DelayUnit::Milliseconds), page->DelayBar()},
      {page->DelayEdit(DelayUnit::Feet), page->DelayBar()},
      {page->ThresholdEdit(), page->ThresholdBar()},
      {page->RatioEdit(), page->RatioBar()},
      {page->ReleaseEdit(), page->ReleaseBar()},
      {page->AttackEdit(), page->AttackBar()}};
  // What one click on an arrow leaves: the set, the edit, the thumb and the frames.
  struct Outcome {
    std::array<std::uint8_t, kParameterImageSize> image;
    QString text;
    int position;
    Frames frames;
    bool operator==(const Outcome&) const = default;
  };
  const auto outcome = [&h](const Spinner& s) {
    return Outcome{ToImage(h.session.parameters), s.edit->text(), s.bar->value(), h.TakeFrames()};
  };
  const auto restart = [&] {
    h.window.setFocus();  // a compressor edit sends when it is left
    h.session.parameters = start;
    page->LoadChannel(0);
    h.TakeFrames();
  };
  const auto wheel = [](QWidget* target, int delta) {
    const QPointF at = QRectF(target->rect()).center();
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  };
  for (const Spinner& s : spinners) {
    const QString name = s.edit->objectName();
    for (const bool up : {true, false}) {
      restart();
      s.bar->triggerAction(up ? QAbstractSlider::SliderSingleStepSub
                              : QAbstractSlider::SliderSingleStepAdd);
      const Outcome clicked = outcome(s);
      QVERIFY2(!clicked.frames.empty(), qPrintable(name));

      restart();
      s.edit->setFocus();
      QTest::keyClick(s.edit, up ? Qt::Key_Up : Qt::Key_Down);
      QVERIFY2(outcome(s) == clicked, qPrintable(name));

      restart();
      wheel(s.edit, up ? 120 : -120);
      QVERIFY2(outcome(s) == clicked, qPrintable(name));
      restart();
      wheel(s.bar, up ? 120 : -120);
      QVERIFY2(outcome(s) == clicked, qPrintable(name));
      // A fine wheel steps once its turns add up to one notch.
      restart();
      wheel(s.bar, up ? 60 : -60);
      QVERIFY2(h.port.frames.empty(), qPrintable(name));
      wheel(s.bar, up ? 60 : -60);
      QVERIFY2(outcome(s) == clicked, qPrintable(name));
    }
  }
  // Up with a modifier is no step.
  restart();
  page->ThresholdEdit()->setFocus();
  QTest::keyClick(page->ThresholdEdit(), Qt::Key_Up, Qt::ShiftModifier);
  QCOMPARE(h.session.parameters.dynamics.threshold, start.dynamics.threshold);
  QVERIFY(h.TakeFrames().empty());
}

void PagesBTest::compressorBarsSendEveryStep() {
  PageHarness h;
  DelayCompressorPage page(h.context, &h.window);
  page.LoadChannel(0);
  page.RatioBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);  // already at the top
  QCOMPARE(h.session.parameters.dynamics.ratio, 99);
  page.AttackBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(h.session.parameters.dynamics.attackTime, 55);
  QCOMPARE(Text(page.AttackEdit()), QStringLiteral("390.000 ms"));
  QCOMPARE(h.TakeFrames(),
           (Frames{"(01$059100624848000099575956)", "(01$059100624848000099575955)"}));
  // Switching the output leaves the compressor as it is.
  page.LoadChannel(1);
  QCOMPARE(Text(page.AttackEdit()), QStringLiteral("390.000 ms"));
  QCOMPARE(Text(page.ThresholdEdit()), QStringLiteral("-18.5 dB"));
}

void PagesBTest::levelSliderFramesAfterThePause() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new LevelPage(h.context, &h.window);
  QCOMPARE(page->Channel(), kLevelNoChannel);
  page->show();
  page->LoadChannel(1);  // LINE, code 183: +1.0 dB
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("1.0"));
  LevelSlider* slider = page->Slider();
  slider->setFocus();

  // On the LINE input the key's step and its end of track both send the level; within one pause
  // the second replaces the first, which is still waiting.
  QTest::keyClick(slider, Qt::Key_Down);
  QCOMPARE(h.session.parameters.inputLevel[1], 182);
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("0.5"));
  QVERIFY(h.port.frames.empty());  // not before the pause
  h.RunLevelPauses();
  QCOMPARE(h.TakeFrames(), (Frames{"(01$0252182)"}));
  QTest::keyPress(slider, Qt::Key_Up);
  h.engine.OnTimer(link::timers::kLevelPause);
  QTest::keyRelease(slider, Qt::Key_Up);  // the end of track, after the step's frame left
  h.RunLevelPauses();
  QCOMPARE(h.TakeFrames(), (Frames{"(01$0252183)", "(01$0252183)"}));
  QVERIFY(h.timers.IsArmed(link::timers::kInputLevel));

  // On MIC and the outputs the end of track leaves the level as it was and sends nothing.
  page->LoadChannel(0);
  QTest::keyClick(slider, Qt::Key_Up);
  h.RunLevelPauses();
  QCOMPARE(h.session.parameters.inputLevel[0], 182);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0251182)"});
  page->LoadChannel(2);
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("-2.5"));
  slider->triggerAction(QAbstractSlider::SliderToMaximum);
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("-90.0"));
  slider->triggerAction(QAbstractSlider::SliderToMinimum);
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("12.0"));
  h.RunLevelPauses();
  QCOMPARE(h.session.parameters.outputLevel[0], 205);
  QCOMPARE(h.TakeFrames(), (Frames{"(01$0491205)"}));

  // A stored code 0 sits at the bottom and shows -90.0.
  h.session.parameters.outputLevel[1] = 0;
  page->LoadChannel(3);
  QCOMPARE(slider->value(), 204);
  QCOMPARE(Text(page->LevelEdit()), QStringLiteral("-90.0"));
  QCOMPARE(h.session.parameters.outputLevel[1], 0);
}

void PagesBTest::levelDragSendsFewFramesEndingWithTheLast() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new LevelPage(h.context, &h.window);
  page->show();
  page->LoadChannel(2);  // HIGH output
  LevelSlider* slider = page->Slider();
  QVERIFY(QTest::qWaitForWindowExposed(page));
  // The thumb dragged with the mouse from the top to near the bottom: 180 positions, a pause
  // ending after every 30 of them, as a half-second drag does.
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.upsideDown = !slider->invertedAppearance();  // as QSlider has it for a vertical one
  const QPoint top =
      slider->style()
          ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
          .center();
  const int thumbY = top.y();
  QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(top.x(), thumbY));
  QVERIFY(slider->isSliderDown());
  int moves = 0;
  for (int y = thumbY; y <= slider->height() + 40; y += 1) {
    QMouseEvent move(QEvent::MouseMove, QPointF(top.x(), y),
                     slider->mapToGlobal(QPointF(top.x(), y)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    if (++moves % 30 == 0) h.engine.OnTimer(link::timers::kLevelPause);
  }
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(top.x(), slider->height() + 40));
  h.RunLevelPauses();
  const Frames frames = h.TakeFrames();
  const int last = h.session.parameters.outputLevel[0];
  QCOMPARE(Text(page->LevelEdit()), QString::fromStdString(LevelText(last)));
  QVERIFY2(last < 30, qPrintable(QString::number(last)));  // the thumb reached the bottom
  // One frame per pause at most, not one per notification, and the last is the level shown.
  QVERIFY2(frames.size() >= 2 && frames.size() <= static_cast<std::size_t>(moves / 30 + 2),
           qPrintable(QString::number(frames.size())));
  QCOMPARE(frames.back(), link::OutputLevelFrame(1, Output::High, last));
}

void PagesBTest::phaseResentOnEachClick() {
  PageHarness h;
  QVERIFY(h.Activate());
  auto* page = new LevelPage(h.context, &h.window);
  page->show();
  page->ShowPhaseControls(true);
  page->LoadChannel(2);
  QVERIFY(page->NormalButton()->isChecked());
  QTest::mouseClick(page->InverseButton(), Qt::LeftButton);
  QTest::mouseClick(page->InverseButton(), Qt::LeftButton);
  QCOMPARE(h.session.parameters.outputPhase[0], 1);
  QCOMPARE(h.TakeFrames(), (Frames{"(01$0521001)", "(01$0521001)"}));
  QCOMPARE(h.timers.armed.at(link::timers::kPhase), 300);

  h.session.parameters.outputPhase[1] = 1;
  page->LoadChannel(3);
  QVERIFY(page->InverseButton()->isChecked());
  QTest::mouseClick(page->NormalButton(), Qt::LeftButton);
  QCOMPARE(h.session.parameters.outputPhase[1], 0);
  QCOMPARE(h.TakeFrames(), Frames{"(01$0522000)"});

  page->LoadChannel(0);
  page->ShowPhaseControls(false);
  QVERIFY(!page->InverseButton()->isVisible());
}

void PagesBTest::levelGraphInputLines() {
  PageHarness h;
  QVERIFY(h.Activate());
  h.session.parameters.inputLevel[0] = 181;
  h.session.parameters.inputLevel[1] = 205;
  auto* page = new LevelPage(h.context, &h.window);
  page->LoadChannel(0);
  page->show();
  QTRY_VERIFY(page->Graph()->HasGraph());
  const QImage& graph = page->Graph()->Picture();
  QCOMPARE(graph.pixelColor(100, 56), graph::paint::kYellowPen);
  QCOMPARE(graph.pixelColor(579, 56), graph::paint::kYellowPen);

  page->LoadChannel(1);
  page->DrawInputLevel();
  QCOMPARE(graph.pixelColor(100, 23), graph::paint::kWhitePen);
  QVERIFY(graph.pixelColor(100, 56) != graph::paint::kYellowPen);

  // An input level change moves the line at once.
  page->Slider()->triggerAction(QAbstractSlider::SliderToMaximum);  // code 1, -90 dB: off the graph
  for (int y = 0; y < graph::kGraphHeight; ++y) {
    QVERIFY(graph.pixelColor(100, y) != graph::paint::kWhitePen);
  }
}

}  // namespace corvella::pages::testing

QTEST_MAIN(corvella::pages::testing::PagesBTest)
#include "pages_b_test.moc"
