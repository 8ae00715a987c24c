// Undo and redo of the PC's set, the A/B sets and the unsaved-work guard, on the real window: the
// pages' own spinners, edits, lists and sliders make the steps, and a virtual unit on a
// pseudo-terminal receives whatever undoing sends.
#include <QAction>
#include <QComboBox>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <array>

#include "app/tools/tuning_history.h"
#include "app/window/commands.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "link/edit_table.h"
#include "link/frames.h"
#include "model/parameters_file.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/filtered_edit.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_set.h"
#include "pages/spin_bar.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::FileNameAnswer;
using corvella::app::test::Window;

namespace {

constexpr int kUnitMs = 20000;
constexpr int kId = sim::kDemoUnitId;

ProgramParameters UnitProgram(sim::VirtualUnitHost& host) {
  ProgramParameters p{};
  host.WithUnit(0, [&p](sim::VirtualUnit& unit) { p = unit.Current(); });
  return p;
}

// The window made active, so that focus moves (and the commits they make) happen as for a person.
void Activate(MainWindow& frame) {
  frame.show();
  QApplication::setActiveWindow(&frame);
  QVERIFY(QTest::qWaitForWindowActive(&frame));
}

// The frames the unit received after the first `from`.
std::vector<std::string> FramesSince(const ConnectedWindow& c, std::size_t from) {
  const std::vector<std::string> all = c.Frames();
  return {all.begin() + static_cast<long>(std::min(from, all.size())), all.end()};
}

long EditFrames(const std::vector<std::string>& frames) {
  return std::count_if(frames.begin(), frames.end(),
                       [](const std::string& f) { return f.find('$') != std::string::npos; });
}

// Where the style draws `part` of a slider or spinner (a QSlider draws a vertical one upside
// down against a scroll bar).
QPoint PartCentre(const QAbstractSlider* bar, QStyle::ComplexControl control,
                  QStyle::SubControl part) {
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = bar->orientation();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = bar->sliderPosition();
  option.sliderValue = bar->value();
  option.singleStep = bar->singleStep();
  option.pageStep = bar->pageStep();
  option.upsideDown = control == QStyle::CC_Slider ? !bar->invertedAppearance()
                                                   : bar->invertedAppearance();
  return bar->style()->subControlRect(control, &option, part, bar).center();
}

// Clicks a spinner's upper arrow (one step up) with the mouse.
void ClickUpArrow(QScrollBar* bar) {
  QTest::mouseClick(bar, Qt::LeftButton, {},
                    PartCentre(bar, QStyle::CC_ScrollBar, QStyle::SC_ScrollBarSubLine));
}

QString UndoText(MainWindow& frame) {
  frame.UpdateCommandStates();
  return frame.action(cmd::kEditUndo)->text();
}

void Trigger(MainWindow& frame, int command) {
  frame.UpdateCommandStates();  // as the menu does when it opens
  QVERIFY2(frame.action(command)->isEnabled(), qPrintable(QString::number(command)));
  frame.action(command)->trigger();
}

// The PC's set and the unit both hold `p`, as after an upload; the history starts from it.
void Align(ConnectedWindow& c, const ProgramParameters& p) {
  QVERIFY(c.host->WithUnit(0, [&p](sim::VirtualUnit& unit) { unit.Current() = p; }));
  c.window.session().parameters = p;
  c.window.view().ReloadAllPages(link::ReloadForm::FileLoad);
}

bool UnitHolds(ConnectedWindow& c, const ProgramParameters& p) {
  const bool same = QTest::qWaitFor(
      [&] { return DiffParameters(p, UnitProgram(*c.host)).empty(); }, kUnitMs);
  if (!same) {
    for (const ParameterDifference& d : DiffParameters(p, UnitProgram(*c.host)))
      qWarning() << DifferenceLine(d).c_str();
  }
  return same;
}

}  // namespace

class UndoTest : public QObject {
  Q_OBJECT

 private slots:
  void pageEditsUndoAndRedoOnThePagesAndTheUnit() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    MainView& view = c.window.view();
    Activate(frame);
    BoxLog boxes;
    ProgramParameters start = UnitProgram(*c.host);
    start.outputPeq[1][0] = {1, 60, 24, 26};  // HIGH band 2: peaking, its value controls enabled
    Align(c, start);

    view.OnCommand(cmd::kHighPeq);
    pages::OutputPeqPage& page = view.pageSet().OutputPeq();
    QTest::mouseClick(page.Control(pages::kOutputBandButton1 + 1), Qt::LeftButton);
    QCOMPARE(page.Band(), 2);
    auto* gainEdit = page.ControlAs<pages::FilteredEdit>(pages::kOutputGainEdit);
    const QString startGain = gainEdit->text();

    // A spinner step: one step, named, sent, and the unit takes it.
    const int steps = view.history().stack().count();
    ClickUpArrow(page.ControlAs<pages::SpinBar>(pages::kOutputGainBar));
    ProgramParameters stepped = start;
    stepped.outputPeq[1][0].gain = 25;
    QVERIFY(c.window.session().parameters == stepped);
    QCOMPARE(view.history().stack().count(), steps + 1);
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo HIGH Output PEQ Band 2 Gain\tCtrl+Z"));
    QVERIFY(UnitHolds(c, stepped));
    QVERIFY(gainEdit->text() != startGain);

    std::size_t sent = c.Frames().size();
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == start);
    QCOMPARE(gainEdit->text(), startGain);
    QVERIFY(UnitHolds(c, start));
    QCOMPARE(FramesSince(c, sent),
             std::vector<std::string>{link::OutputPeqGainFrame(kId, Output::High, 1, 24)});
    frame.UpdateCommandStates();
    QCOMPARE(frame.action(cmd::kEditRedo)->text(),
             QStringLiteral("&Redo HIGH Output PEQ Band 2 Gain\tCtrl+Y"));

    sent = c.Frames().size();
    Trigger(frame, cmd::kEditRedo);
    QVERIFY(c.window.session().parameters == stepped);
    QVERIFY(UnitHolds(c, stepped));
    QCOMPARE(FramesSince(c, sent),
             std::vector<std::string>{link::OutputPeqGainFrame(kId, Output::High, 1, 25)});

    // A typed value commits on Enter: one step, undone to the value shown before.
    auto* frequencyEdit = page.ControlAs<pages::FilteredEdit>(pages::kOutputFrequencyEdit);
    const QString startFrequency = frequencyEdit->text();
    frequencyEdit->setFocus();
    frequencyEdit->selectAll();
    QTest::keyClicks(frequencyEdit, QStringLiteral("1k"));
    QTest::keyClick(frequencyEdit, Qt::Key_Return);
    const std::uint8_t typed = c.window.session().parameters.outputPeq[1][0].frequency;
    QVERIFY(typed != 60);
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo HIGH Output PEQ Band 2 Frequency\tCtrl+Z"));
    QVERIFY(UnitHolds(c, c.window.session().parameters));
    sent = c.Frames().size();
    Trigger(frame, cmd::kEditUndo);
    QCOMPARE(frequencyEdit->text(), startFrequency);
    QVERIFY(c.window.session().parameters == stepped);
    QVERIFY(UnitHolds(c, stepped));
    QCOMPARE(FramesSince(c, sent),
             std::vector<std::string>{link::OutputPeqFrequencyFrame(kId, Output::High, 1, 60)});

    // A type change from the list, with the keyboard.
    auto* types = page.ControlAs<QComboBox>(pages::kOutputTypeList);
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    QCOMPARE(c.window.session().parameters.outputPeq[1][0].type, 2);
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo HIGH Output PEQ Band 2 Type\tCtrl+Z"));
    QVERIFY(UnitHolds(c, c.window.session().parameters));
    sent = c.Frames().size();
    Trigger(frame, cmd::kEditUndo);
    QCOMPARE(types->currentIndex(), 1);
    QVERIFY(c.window.session().parameters == stepped);
    QVERIFY(UnitHolds(c, stepped));
    QCOMPARE(FramesSince(c, sent), std::vector<std::string>{link::OutputPeqBandFrame(
                                       kId, Output::High, 1, stepped.outputPeq[1][0])});
    Trigger(frame, cmd::kEditRedo);
    QCOMPARE(types->currentIndex(), 2);
    const ProgramParameters retyped = c.window.session().parameters;
    QVERIFY(UnitHolds(c, retyped));

    // The keys work where the page keeps the focus: in an edit with no typing to take back.
    gainEdit->setFocus();
    QTest::keyClick(gainEdit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(types->currentIndex(), 1);
    QVERIFY(c.window.session().parameters == stepped);
    QVERIFY(UnitHolds(c, stepped));
    gainEdit->setFocus();
    QTest::keyClick(gainEdit, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(c.window.session().parameters == retyped);
    QVERIFY(UnitHolds(c, retyped));

    // Undoing kept the page, its channel and its band in view.
    QCOMPARE(view.pageSet().VisiblePage(), view.pageSet().Page(pages::PageKind::OutputPeq));
    QCOMPARE(page.Channel(), 0);
    QCOMPARE(page.Band(), 2);
    QVERIFY(boxes.boxes.empty());
  }

  void aDragOrAHeldSpinnerIsOneStep() {
    Window w;
    MainView& view = w.view();
    view.OnCommand(cmd::kHighLevel);
    auto* slider = view.pageSet().Level().ControlAs<QSlider>(pages::kLevelSliderId);
    const ProgramParameters start = w.session().parameters;
    const int steps = view.history().stack().count();

    const QPoint thumb = PartCentre(slider, QStyle::CC_Slider, QStyle::SC_SliderHandle);
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    int notifications = 0;
    QObject::connect(slider, &QAbstractSlider::actionTriggered, [&] { ++notifications; });
    for (int y = thumb.y(); y <= thumb.y() + 40; ++y) {
      QMouseEvent move(QEvent::MouseMove, QPointF(thumb.x(), y),
                       slider->mapToGlobal(QPointF(thumb.x(), y)), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QApplication::sendEvent(slider, &move);
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(thumb.x(), thumb.y() + 40));
    const ProgramParameters dragged = w.session().parameters;
    QVERIFY(notifications > 5);
    QVERIFY(dragged.outputLevel[0] != start.outputLevel[0]);
    QCOMPARE(view.history().stack().count(), steps + 1);
    QCOMPARE(UndoText(w.frame), QStringLiteral("&Undo HIGH Level\tCtrl+Z"));

    view.OnCommand(cmd::kEditUndo);
    QVERIFY(w.session().parameters == start);
    const int restoredPosition = slider->value();
    view.OnCommand(cmd::kEditRedo);
    QVERIFY(w.session().parameters == dragged);
    QVERIFY(slider->value() != restoredPosition);  // the page follows undo and redo

    // The drag ended with its release: a step right after it is a step of its own.
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(view.history().stack().count(), steps + 2);
    view.OnCommand(cmd::kEditUndo);
    QVERIFY(w.session().parameters == dragged);

    // A spinner's arrow held down repeats its step until released: one step too.
    view.OnCommand(cmd::kLowCrossover);
    auto* bar = view.pageSet().Crossover().ControlAs<QScrollBar>(pages::kHpfFrequencyBarId);
    const std::uint8_t frequency = w.session().parameters.crossover[1].hpfFrequency;
    const QPoint up = PartCentre(bar, QStyle::CC_ScrollBar, QStyle::SC_ScrollBarSubLine);
    const int before = view.history().stack().index();
    QTest::mousePress(bar, Qt::LeftButton, {}, up);
    QVERIFY(QTest::qWaitFor(
        [&] { return w.session().parameters.crossover[1].hpfFrequency >= frequency + 5; }, 5000));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, up);
    QCOMPARE(view.history().stack().index(), before + 1);
    QCOMPARE(UndoText(w.frame), QStringLiteral("&Undo LOW Crossover HPF Frequency\tCtrl+Z"));
    view.OnCommand(cmd::kEditUndo);
    QCOMPARE(w.session().parameters.crossover[1].hpfFrequency, frequency);
  }

  void undoingAFileLoadSendsOnlyTheDifferences() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    MainView& view = c.window.view();
    BoxLog boxes;
    const ProgramParameters before = UnitProgram(*c.host);
    Align(c, before);
    ProgramParameters file = before;
    file.crossover[1].hpfFrequency = static_cast<std::uint8_t>(before.crossover[1].hpfFrequency + 3);
    file.outputDelay[0] = before.outputDelay[0] + 17;
    file.dynamics.ratio = static_cast<std::uint8_t>(before.dynamics.ratio == 1 ? 2 : 1);
    file.programNumber = static_cast<std::uint8_t>(before.programNumber % 6 + 1);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("loaded.asc"));
    QVERIFY(corvella::SaveParametersFile(path.toStdU16String(), file).ok);

    // Opened while no unit listened (File > Open is greyed while connected), then connected.
    c.window.session().link.linkConnected = 0;
    view.OpenParametersFileAt(path);
    c.window.session().link.linkConnected = 1;
    QVERIFY(c.window.session().parameters == file);
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo Open File\tCtrl+Z"));
    QCOMPARE(frame.windowTitle(), QStringLiteral(" Corvella - loaded.asc"));

    const std::size_t sent = c.Frames().size();
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == before);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
    const std::vector<std::string> frames = FramesSince(c, sent);
    // Three parameters differ (the program number says where a program is kept, not what it is).
    QCOMPARE(EditFrames(frames), 3L);
    const auto has = [&frames](const std::string& f) {
      return std::find(frames.begin(), frames.end(), f) != frames.end();
    };
    QVERIFY(has(link::HpfFrequencyFrame(kId, Output::Low, before.crossover[1].hpfFrequency)));
    QVERIFY(has(link::OutputDelayFrame(kId, Output::High, before.outputDelay[0])));
    QVERIFY(has(link::CompressorFrame(kId, before.dynamics)));
    QVERIFY(UnitHolds(c, before));
    QCOMPARE(frame.windowTitle(), QStringLiteral(" Corvella - loaded.asc*"));
    QVERIFY(boxes.boxes.empty());
  }

  void recallAndFactoryDefaultAreStepsOfTheirOwn() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    MainView& view = c.window.view();
    BoxLog boxes;
    const ProgramParameters before = UnitProgram(*c.host);
    Align(c, before);
    ProgramParameters memory{};
    QVERIFY(c.host->WithUnit(0, [&memory](sim::VirtualUnit& unit) { memory = unit.Memory(2).value_or(ProgramParameters{}); }));
    QVERIFY(!DiffParameters(before, memory).empty());

    QVERIFY(view.controller().Recall(2));
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs * 3));
    QVERIFY(DiffParameters(c.window.session().parameters, memory).empty());
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo Recall\tCtrl+Z"));
    const std::size_t sent = c.Frames().size();
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == before);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs * 3));
    // Exactly one edit frame for each differing parameter (frames shared by several go once).
    std::vector<ParameterRef> refs;
    for (const ParameterDifference& d : DiffParameters(before, memory)) refs.push_back(d.a.ref);
    std::vector<std::string> expected;
    for (const ParameterRef& ref : link::DistinctEdits(refs))
      expected.push_back(link::EditFrame(kId, before, ref));
    std::vector<std::string> got = FramesSince(c, sent);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    QCOMPARE(got, expected);
    QVERIFY(UnitHolds(c, before));

    // The default's file load is one step under the default's name, not "Open File".
    QTemporaryDir folder;
    ProgramParameters defaults = before;
    defaults.outputLevel[0] = static_cast<std::uint8_t>(before.outputLevel[0] - 10);
    QVERIFY(corvella::SaveParametersFile(
                folder.filePath(QStringLiteral("factory default.asc")).toStdU16String(), defaults)
                .ok);
    view.SetFactoryDefaultFolder(folder.path().toStdU16String());
    c.window.session().link.linkConnected = 0;
    boxes.answers = {QMessageBox::Yes};
    view.OnCommand(cmd::kLoadDefaultSetting);
    QCOMPARE(c.window.session().parameters.outputLevel[0], defaults.outputLevel[0]);
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo Load Default Setting\tCtrl+Z"));
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == before);
    // The recall, undone before the default was loaded, is no longer there to redo.
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo Open File\tCtrl+Z"));
    frame.UpdateCommandStates();
    QCOMPARE(frame.action(cmd::kEditRedo)->text(),
             QStringLiteral("&Redo Load Default Setting\tCtrl+Y"));
  }

  void abSwitchSendsOnlyTheDifferencesAndRestoresExactly() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    MainView& view = c.window.view();
    BoxLog boxes;
    const ProgramParameters a = UnitProgram(*c.host);
    Align(c, a);
    frame.UpdateCommandStates();
    QVERIFY(!frame.action(cmd::kSwitchAb)->isEnabled());
    QCOMPARE(frame.action(cmd::kSwitchAb)->shortcut(), QKeySequence(Qt::Key_F9));
    Trigger(frame, cmd::kStoreAsA);
    QCOMPARE(view.statusLine()->text(), QString::fromLatin1(kAActiveText));

    ProgramParameters b = a;
    b.inputLevel[1] = static_cast<std::uint8_t>(a.inputLevel[1] - 4);
    b.outputLevel[1] = static_cast<std::uint8_t>(a.outputLevel[1] - 6);
    b.outputPeq[3][0].gain = static_cast<std::uint8_t>(a.outputPeq[3][0].gain + 2);
    b.crossover[0].lpfFrequency = static_cast<std::uint8_t>(a.crossover[0].lpfFrequency - 5);
    b.outputPhase[1] = static_cast<std::uint8_t>(1 - a.outputPhase[1]);
    c.window.session().parameters = b;
    view.ReloadAllPages(link::ReloadForm::FileLoad);
    Trigger(frame, cmd::kStoreAsB);
    QCOMPARE(view.statusLine()->text(), QString::fromLatin1(kBActiveText));
    frame.UpdateCommandStates();
    QVERIFY(frame.action(cmd::kSwitchAb)->isEnabled());

    // B -> A -> B -> A: each time only the five differences go out and the sets come back exactly.
    for (const ProgramParameters* target : std::array<const ProgramParameters*, 3>{&a, &b, &a}) {
      const std::size_t sent = c.Frames().size();
      Trigger(frame, cmd::kSwitchAb);
      QVERIFY(c.window.session().parameters == *target);
      QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
      QCOMPARE(EditFrames(FramesSince(c, sent)), 5L);
      QVERIFY(UnitHolds(c, *target));
      QCOMPARE(view.statusLine()->text(),
               QString::fromLatin1(target == &a ? kAActiveText : kBActiveText));
    }
    QCOMPARE(UndoText(frame), QStringLiteral("&Undo Switch To A\tCtrl+Z"));

    // A switch right after a page edit: its list waits for the edit's answer, which would
    // otherwise be taken for the list's first, and then makes the unit hold B exactly.
    view.OnCommand(cmd::kHighDelay);
    view.pageSet().DelayCompressor().CommitDelay(0, a.outputDelay[0] + 9);
    QVERIFY(view.engine().PageEditWaiting());
    Trigger(frame, cmd::kSwitchAb);
    QVERIFY(c.window.session().parameters == b);
    QVERIFY(QTest::qWaitFor(
        [&] { return !view.engine().ChainRunning() && !view.engine().PageEditWaiting(); },
        kUnitMs));
    QVERIFY(UnitHolds(c, b));
    QCOMPARE(view.statusLine()->text(), QString::fromLatin1(kBActiveText));
    Trigger(frame, cmd::kEditUndo);
    QCOMPARE(c.window.session().parameters.outputDelay[0], a.outputDelay[0] + 9);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == a);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
    QVERIFY(UnitHolds(c, a));
    Trigger(frame, cmd::kEditRedo);
    Trigger(frame, cmd::kEditRedo);
    QVERIFY(c.window.session().parameters == b);

    // A switch is a step: undoing it brings A back, on the unit too.
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
    Trigger(frame, cmd::kEditUndo);
    ProgramParameters delayed = a;
    delayed.outputDelay[0] = a.outputDelay[0] + 9;
    QVERIFY(c.window.session().parameters == delayed);
    QCOMPARE(view.history().Active(), AbSlot::A);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs));
    QVERIFY(UnitHolds(c, delayed));
    QCOMPARE(view.statusLine()->text(), QString::fromLatin1(kAActiveText));
    QVERIFY(boxes.boxes.empty());
  }

  void undoWaitsWhileAChainRuns() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainWindow& frame = c.window.frame;
    MainView& view = c.window.view();
    BoxLog boxes;
    const ProgramParameters start = UnitProgram(*c.host);
    Align(c, start);
    view.OnCommand(cmd::kHighDelay);
    view.pageSet().DelayCompressor().CommitDelay(0, start.outputDelay[0] + 5);
    const ProgramParameters edited = c.window.session().parameters;
    QVERIFY(UnitHolds(c, edited));
    // The unit takes a frame before the line's record shows it: once its answer is judged, the
    // frame is on the record too.
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().PageEditWaiting(); }, kUnitMs));
    Trigger(frame, cmd::kStoreAsA);

    view.OnCommand(cmd::kCompareWithDevice);
    QVERIFY(view.engine().ChainRunning());
    frame.UpdateCommandStates();
    for (int command : {cmd::kEditUndo, cmd::kSwitchAb, cmd::kStoreAsB}) {
      QVERIFY2(!frame.action(command)->isEnabled(), qPrintable(QString::number(command)));
    }
    // The shortcut still arrives: it changes nothing and sends nothing.
    const std::size_t sent = c.Frames().size();
    view.OnCommand(cmd::kEditUndo);
    view.history().Undo();
    QVERIFY(c.window.session().parameters == edited);

    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, kUnitMs * 3));
    for (const std::string& f : FramesSince(c, sent)) QVERIFY(f.find('$') == std::string::npos);
    Trigger(frame, cmd::kEditUndo);
    QVERIFY(c.window.session().parameters == start);
    QVERIFY(UnitHolds(c, start));
  }

  void titleMarksUnsavedChangesAndExitOffersToSave() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("tuned.asc"));
    Window w;
    MainView& view = w.view();
    Activate(w.frame);
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - Untitled"));
    view.OnCommand(cmd::kHighDelay);
    view.pageSet().DelayCompressor().CommitDelay(1, 40);
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - Untitled*"));
    view.OnCommand(cmd::kEditUndo);
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - Untitled"));
    view.OnCommand(cmd::kEditRedo);
    {
      FileNameAnswer name(path);
      view.OnCommand(cmd::kFileSaveAs);
    }
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - tuned.asc"));

    // Without changes the exit question is the usual one.
    {
      BoxLog boxes;
      QVERIFY(!w.frame.close());
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
      QCOMPARE(boxes.boxes[0].text, QStringLiteral("Are you sure you want to exit ?"));
    }

    view.pageSet().DelayCompressor().CommitDelay(1, 41);
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - tuned.asc*"));
    {
      BoxLog boxes;
      boxes.answers = {QMessageBox::Cancel};
      QVERIFY(!w.frame.close());
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
      const MessageRequest& ask = boxes.boxes[0];
      QCOMPARE(ask.text, QString::fromLatin1(kUnsavedExitText));
      QCOMPARE(ask.caption, QStringLiteral("Exit"));
      QVERIFY(ask.buttons == (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel));
      QVERIFY(w.frame.isVisible());
    }
    {
      // Yes, but the file dialog is cancelled: nothing saved, the window stays.
      BoxLog boxes;
      boxes.answers = {QMessageBox::Yes};
      FileNameAnswer none{QString()};
      QVERIFY(!w.frame.close());
      QVERIFY(w.frame.isVisible());
    }
    {
      BoxLog boxes;
      boxes.answers = {QMessageBox::Yes};
      FileNameAnswer name(path);
      QVERIFY(w.frame.close());
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
    }
    ProgramParameters saved{};
    QVERIFY(corvella::LoadParametersFile(path.toStdU16String(), saved).ok);
    QVERIFY(saved == w.session().parameters);
    QCOMPARE(saved.outputDelay[1], 41);

    // No leaves without saving.
    Window other;
    other.frame.show();
    other.view().OnCommand(cmd::kHighDelay);
    other.view().pageSet().DelayCompressor().CommitDelay(1, 99);
    BoxLog boxes;
    boxes.answers = {QMessageBox::No};
    QVERIFY(other.frame.close());
    QVERIFY(corvella::LoadParametersFile(path.toStdU16String(), saved).ok);
    QCOMPARE(saved.outputDelay[1], 41);
  }
};

QTEST_MAIN(UndoTest)
#include "undo_test.moc"
