// The equaliser pages as an operator uses them: typed values, spinners, band and type changes,
// with the parameter set and the frames the unit receives checked after each step.
#include <QAccessible>
#include <QComboBox>
#include <QTest>

#include "graph/crossover_response.h"
#include "graph/paint/graph_painter.h"
#include "pages/drawn_button.h"
#include "pages/filtered_edit.h"
#include "pages/input_peq_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_decor.h"
#include "pages/spin_bar.h"
#include "support/page_harness.h"

using namespace corvella;
using namespace corvella::pages;
using corvella::pages::testing::PageHarness;

namespace {

struct InputPage : PageHarness {
  InputPeqPage* page = new InputPeqPage(context, &window);

  InputPage() {
    window.setFocusPolicy(Qt::StrongFocus);
    // Band 1 of both inputs starts as None, whose value controls are disabled.
    session.parameters.inputPeq[0][0].type = 1;
    session.parameters.inputPeq[0][1].type = 1;
    page->LoadChannel(0);
  }
  FilteredEdit* Edit(int id) const { return page->ControlAs<FilteredEdit>(id); }
  SpinBar* Bar(int id) const { return page->ControlAs<SpinBar>(id); }
  const PeqBand& Band(int band0, int ch = 0) const {
    return session.parameters.inputPeq[band0][ch];
  }

  // Types into an edit as an operator does (click selects all) and commits it with Enter.
  void Enter(int id, const char* keys) {
    FilteredEdit* edit = Edit(id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, keys);
    QTest::keyClick(edit, Qt::Key_Return);
  }
};

struct OutputPage : PageHarness {
  OutputPeqPage* page = new OutputPeqPage(context, &window);

  OutputPage() {
    window.setFocusPolicy(Qt::StrongFocus);
    page->LoadChannel(0);
  }
  SpinBar* Bar(int id) const { return page->ControlAs<SpinBar>(id); }
  void SelectBand(int band) {
    QTest::mouseClick(page->ControlAs<DrawnButton>(kOutputBandButton1 + band - 1), Qt::LeftButton);
  }
  // Drags the thumb to `position` and lets it go.
  static void DragThumb(SpinBar* bar, int position) {
    bar->setSliderDown(true);
    bar->setSliderPosition(position);
    bar->setSliderDown(false);
  }
};

}  // namespace

class PeqPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void LoadingAChannelShowsItsCurrentBand() {
    OutputPage out;
    // Before any load the frequency edit shows the page's own start text.
    OutputPeqPage fresh(out.context, &out.window);
    QCOMPARE(fresh.ControlAs<FilteredEdit>(kOutputFrequencyEdit)->text(), QString("1.00k"));
    // HIGH band 1: Peaking, 315.0Hz, Q 0.77, gain -3.0 dB, each spinner at maximum - index.
    QCOMPARE(out.page->ControlAs<FilteredEdit>(kOutputFrequencyEdit)->text(), QString("315.0Hz"));
    QCOMPARE(out.Bar(kOutputFrequencyBar)->value(), 121 - 49);
    QCOMPARE(out.page->ControlAs<FilteredEdit>(kOutputQEdit)->text(), QString("0.77(1.30)"));
    QCOMPARE(out.Bar(kOutputQBar)->value(), 72 - 16);
    QCOMPARE(out.page->ControlAs<FilteredEdit>(kOutputGainEdit)->text(), QString("-3.0dB"));
    QCOMPARE(out.Bar(kOutputGainBar)->value(), 48 - 18);
    QCOMPARE(out.page->ControlAs<QComboBox>(kOutputTypeList)->currentIndex(), 1);
  }

  void GraphIsDrawnOnceThePageHasPainted() {
    OutputPage t;
    QVERIFY(!t.page->Graph().HasGraph());
    QVERIFY(t.Activate());
    // The paint timer also brings the output's crossover into the shared table.
    QTRY_VERIFY(t.page->Graph().HasGraph());
    const graph::Curve expected = graph::ComputeCrossover(t.session.parameters.crossover[0]);
    QVERIFY(expected[1] < -20.0);
    QCOMPARE(t.crossover.db[0][1], expected[1]);
  }

  void TypedFrequenciesSnapToTheScale() {
    InputPage t;
    QVERIFY(t.Activate());
    const struct {
      const char* typed;
      int code;
      const char* shown;
    } cases[] = {
        {"1k", 69, "1.00kHz"},     {"1 KHz", 69, "1.00kHz"}, {"1.03k", 70, "1.06kHz"},
        {"1.02k", 69, "1.00kHz"},  {"970", 68, "950.0Hz"},   {"990", 69, "1.00kHz"},
        {"25000", 121, "20.0kHz"}, {"0", 1, "20.0Hz"},       {"abc", 1, "20.0Hz"},
    };
    for (const auto& c : cases) {
      t.Enter(kInputFrequencyEdit, c.typed);
      QCOMPARE(int{t.Band(0).frequency}, c.code);
      QCOMPARE(t.Edit(kInputFrequencyEdit)->text(), QString(c.shown));
      QCOMPARE(t.Bar(kInputFrequencyBar)->value(), 121 - c.code);
    }
    // Every commit is sent, with its answer timer, even when the value did not change.
    const auto frames = t.TakeFrames();
    QCOMPARE(frames.size(), std::size(cases));
    QCOMPARE(frames[0], std::string("(01$022100069)"));
    QCOMPARE(frames[2], std::string("(01$022100070)"));
    QCOMPARE(t.timers.armed.at(link::timers::kInputPeqFrequency), 300);
  }

  void TypedQAndGainSnapWithTiesUpward() {
    InputPage t;
    QVERIFY(t.Activate());
    t.page->LoadChannel(1);
    t.Enter(kInputQEdit, "25");
    QCOMPARE(int{t.Band(0, 1).q}, 72);
    QCOMPARE(t.Edit(kInputQEdit)->text(), QString("19.4(0.052)"));
    QCOMPARE(t.Bar(kInputQBar)->value(), 0);
    t.Enter(kInputGainEdit, "-3.25");
    QCOMPARE(int{t.Band(0, 1).gain}, 18);  // -3.0 dB
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("-3.0dB"));
    t.Enter(kInputGainEdit, "-3.3");
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("-3.5dB"));
    t.Enter(kInputGainEdit, "13");
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("12.0dB"));
    QCOMPARE(t.Bar(kInputGainBar)->value(), 0);
    QCOMPARE(t.TakeFrames(), (std::vector<std::string>{"(01$024200072)", "(01$023200018)",
                                                       "(01$023200017)", "(01$023200048)"}));
    // MIC was left alone.
    QCOMPARE(int{t.Band(0, 0).q}, 46);
  }

  void SpinnersStepAndStopAtTheirEnds() {
    InputPage t;
    SpinBar* bar = t.Bar(kInputFrequencyBar);
    // Up raises the frequency one step.
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(int{t.Band(0).frequency}, 70);
    QCOMPARE(t.Edit(kInputFrequencyEdit)->text(), QString("1.06kHz"));
    QCOMPARE(bar->value(), 121 - 70);
    // At the top the position stays 0: the first press there is sent, a repeat is not.
    bar->setValue(1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(int{t.Band(0).frequency}, 121);
    QCOMPARE(t.TakeFrames(), (std::vector<std::string>{"(01$022100070)", "(01$022100121)"}));
    // Page steps leave the spinner and the value alone.
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(bar->value(), 0);
    QVERIFY(t.TakeFrames().empty());
    // The gain spinner's texts and the Q spinner's, at the bottom end.
    t.Bar(kInputGainBar)->setValue(47);
    t.Bar(kInputGainBar)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("-12.0dB"));
    t.Bar(kInputQBar)->setValue(71);
    t.Bar(kInputQBar)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(t.Edit(kInputQEdit)->text(), QString("0.31(3.26)"));
    QCOMPARE(t.TakeFrames(), (std::vector<std::string>{"(01$023100000)", "(01$024100000)"}));
  }

  void StepsAreJudgedAgainstTheShownBandsStoredCode() {
    OutputPage t;
    t.SelectBand(3);
    QCOMPARE(t.selection.outputPeqBand, 3);
    SpinBar* bar = t.Bar(kOutputFrequencyBar);
    QCOMPARE(bar->value(), 121 - 94);  // HIGH band 3 is at 4.25 kHz
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(int{t.session.parameters.outputPeq[2][0].frequency}, 93);
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$046102093)"});

    // LOW band 3 (1.00 kHz): a thumb released where HIGH's last step ended is a change for LOW.
    t.page->LoadChannel(1);
    QCOMPARE(t.page->Band(), 3);
    OutputPage::DragThumb(bar, 121 - 93);
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$046202093)"});
    QCOMPARE(int{t.session.parameters.outputPeq[2][1].frequency}, 93);
    QCOMPARE(t.page->ControlAs<FilteredEdit>(kOutputFrequencyEdit)->text(), QString("4.00kHz"));
    // Released where it stands, it sends nothing.
    OutputPage::DragThumb(bar, 121 - 93);
    QVERIFY(t.TakeFrames().empty());
    // Band 6 of LOW at code 100.
    t.SelectBand(6);
    OutputPage::DragThumb(bar, 121 - 100);
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$046205100)"});
    QCOMPARE(t.timers.armed.at(link::timers::kOutputPeqFrequency), 300);

    // A reload (file, upload) changes the stored code under the bar: a step back to the code the
    // bar last applied is a change again and is sent.
    t.session.parameters.outputPeq[5][1].frequency = 99;
    t.page->LoadChannel(1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(int{t.session.parameters.outputPeq[5][1].frequency}, 100);
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$046205100)"});
  }

  void AStepAfterTypedTextIsNeverDropped() {
    InputPage t;
    QVERIFY(t.Activate());
    SpinBar* gain = t.Bar(kInputGainBar);
    gain->triggerAction(QAbstractSlider::SliderSingleStepSub);  // 24 -> 25
    t.Enter(kInputGainEdit, "0");                               // back to 24
    gain->triggerAction(QAbstractSlider::SliderSingleStepSub);  // 25 again
    QCOMPARE(int{t.Band(0).gain}, 25);
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("0.5dB"));
    QCOMPARE(t.TakeFrames(),
             (std::vector<std::string>{"(01$023100025)", "(01$023100024)", "(01$023100025)"}));
    // The same for Q after a channel switch and back.
    SpinBar* q = t.Bar(kInputQBar);
    q->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // 46 -> 45
    t.page->LoadChannel(1);
    t.page->LoadChannel(0);
    t.Enter(kInputQEdit, "4.33");  // 46
    q->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(int{t.Band(0).q}, 45);
    QCOMPARE(t.TakeFrames(),
             (std::vector<std::string>{"(01$024100045)", "(01$024100046)", "(01$024100045)"}));
  }

  void TextWithoutANumberCommitsNothing() {
    InputPage t;
    QVERIFY(t.Activate());
    const PeqBand before = t.Band(0);
    const auto clear = [&t](int id) {
      FilteredEdit* edit = t.Edit(id);
      edit->setFocus();
      edit->selectAll();
      QTest::keyClick(edit, Qt::Key_Delete);
      return edit;
    };
    // An emptied gain left with a click elsewhere, an emptied frequency left with Enter, a Q of
    // blanks and a frequency of a bare "k": each shows its stored value again and sends nothing.
    FilteredEdit* gain = clear(kInputGainEdit);
    t.window.setFocus();
    QCOMPARE(gain->text(), QString("0.0dB"));
    clear(kInputFrequencyEdit);
    QTest::keyClick(t.Edit(kInputFrequencyEdit), Qt::Key_Return);
    QCOMPARE(t.Edit(kInputFrequencyEdit)->text(), QString("1.00kHz"));
    QTest::keyClicks(clear(kInputQEdit), "  ");
    t.window.setFocus();
    QCOMPARE(t.Edit(kInputQEdit)->text(), QString("4.33(0.23)"));
    QTest::keyClicks(clear(kInputFrequencyEdit), "k");
    QTest::keyClick(t.Edit(kInputFrequencyEdit), Qt::Key_Return);
    QCOMPARE(t.Edit(kInputFrequencyEdit)->text(), QString("1.00kHz"));
    const PeqBand& after = t.Band(0);
    QCOMPARE((std::array<int, 3>{after.frequency, after.q, after.gain}),
             (std::array<int, 3>{before.frequency, before.q, before.gain}));
    QCOMPARE(t.Bar(kInputFrequencyBar)->value(), 121 - 69);
    QVERIFY(t.TakeFrames().empty());
    // A zero is a number: "0" dB is committed and sent.
    t.Enter(kInputGainEdit, "0");
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$023100024)"});
  }

  void TypeChangesEnableControlsAndSendTheWholeBand() {
    OutputPage t;
    auto* list = t.page->ControlAs<QComboBox>(kOutputTypeList);
    const auto enabled = [&t](int id) { return t.page->Control(id)->isEnabled(); };
    t.SelectBand(5);  // type None at start
    QVERIFY(!enabled(kOutputFrequencyEdit) && !enabled(kOutputQBar) && !enabled(kOutputGainEdit));
    QVERIFY(list->isEnabled());

    const auto choose = [list](int index) {
      list->setCurrentIndex(index);
      emit list->activated(index);
    };
    choose(3);  // Hi-Shelf: no Q
    QVERIFY(enabled(kOutputFrequencyEdit) && enabled(kOutputGainBar));
    QVERIFY(!enabled(kOutputQEdit) && !enabled(kOutputQBar));
    choose(5);  // Notch: no gain
    QVERIFY(enabled(kOutputQEdit) && !enabled(kOutputGainEdit) && !enabled(kOutputGainBar));
    choose(0);  // None keeps the stored values and sends them
    QVERIFY(!enabled(kOutputFrequencyBar));
    const PeqBand& b = t.session.parameters.outputPeq[4][0];
    QCOMPARE((std::array<int, 4>{b.type, b.frequency, b.gain, b.q}),
             (std::array<int, 4>{0, 69, 24, 46}));
    QCOMPARE(t.TakeFrames(),
             (std::vector<std::string>{"(01$045104003069024046)", "(01$045104005069024046)",
                                       "(01$045104000069024046)"}));
    QCOMPARE(t.timers.armed.at(link::timers::kOutputPeqBand), 300);
  }

  void BandButtonsSwitchBandsWithoutSending() {
    InputPage t;
    QVERIFY(t.Activate());
    t.session.parameters.inputPeq[1][0] = PeqBand{1, 59, 36, 46};
    auto* b1 = t.page->ControlAs<DrawnButton>(kInputBandButton1);
    b1->setFocus();
    QTest::keyClick(b1, Qt::Key_Right);
    QCOMPARE(t.page->Band(), 2);
    QCOMPARE(t.Edit(kInputFrequencyEdit)->text(), QString("560.0Hz"));
    QCOMPARE(t.Edit(kInputGainEdit)->text(), QString("6.0dB"));
    // The arrow key leaves the focus on the band button it moved to.
    QVERIFY(t.page->ControlAs<DrawnButton>(kInputBandButton1 + 1)->hasFocus());
    QVERIFY(t.TakeFrames().empty());
    // A band change in the middle of an edit commits the typed text to the band it was typed for.
    FilteredEdit* freq = t.Edit(kInputFrequencyEdit);
    freq->setFocus();
    freq->selectAll();
    QTest::keyClicks(freq, "2k");
    QTest::mouseClick(b1, Qt::LeftButton);
    QCOMPARE(t.page->Band(), 1);
    QVERIFY(t.page->ControlAs<QComboBox>(kInputTypeList)->hasFocus());
    QCOMPARE(int{t.Band(1).frequency}, 81);
    QCOMPARE(t.TakeFrames(), std::vector<std::string>{"(01$022101081)"});
  }

  void AnEditDisabledUnderTheFocusSendsNothing() {
    InputPage t;
    QVERIFY(t.Activate());
    FilteredEdit* freq = t.Edit(kInputFrequencyEdit);
    freq->setFocus();
    t.session.parameters.inputPeq[0][0].type = 0;
    t.page->ShowBand(1, 0);  // as a reload after a file load does
    QVERIFY(!freq->isEnabled() && !freq->hasFocus());
    QVERIFY(t.TakeFrames().empty());
  }

  void NothingIsSentWhileDisconnected() {
    InputPage t;
    QVERIFY(t.Activate());
    t.session.link.linkConnected = 0;
    t.Enter(kInputFrequencyEdit, "2k");
    t.Bar(kInputGainBar)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(int{t.Band(0).frequency}, 81);
    QCOMPARE(int{t.Band(0).gain}, 25);
    QVERIFY(t.TakeFrames().empty());
    QVERIFY(t.timers.armed.empty());
  }

  void GraphShowsTheBandsTheSumAndTheCrossover() {
    InputPage in;
    in.session.parameters.inputPeq[0][0] = PeqBand{1, 69, 48, 46};  // +12 dB at 1 kHz
    in.page->DrawPeqResponse(0);
    const QImage mic = in.page->Graph().Picture();
    QCOMPARE(mic.pixelColor(328, 23), graph::paint::kYellowPen);
    QCOMPARE(mic.pixelColor(328, 22), QColor(0, 0, 0));  // the marker's gap, above the peak
    QCOMPARE(mic.pixelColor(0, 56), graph::paint::kYellowPen);
    // Nothing of the sum rises above the peak; the blue marker stands on the 1 kHz column.
    for (int x = 0; x < 580; ++x) {
      for (int y = 0; y < 23; ++y) QVERIFY(mic.pixelColor(x, y) != graph::paint::kYellowPen);
    }
    QCOMPARE(mic.pixelColor(328, 5), graph::paint::kMarkerPen);  // a dash
    QCOMPARE(mic.pixelColor(328, 10), QColor(0, 0, 0));          // the gap after it

    // LINE with both bands None: a flat white sum at row 56 and no marker on the graph.
    in.session.parameters.inputPeq[0][1].type = 0;
    in.session.parameters.inputPeq[1][1].type = 0;
    in.page->LoadChannel(1);
    in.page->DrawPeqResponse(0);
    const QImage line = in.page->Graph().Picture();
    for (int x : {0, 100, 328, 578}) QCOMPARE(line.pixelColor(x, 56), graph::paint::kWhitePen);
    for (int x = 0; x < 580; ++x) {
      for (int y = 0; y < 224; ++y) QVERIFY(line.pixelColor(x, y) != graph::paint::kMarkerPen);
    }

    // The output page adds its crossover: with every band None the sum follows the crossover
    // (LOW at start: high-pass 40 Hz, low-pass 125 Hz), and is flat when both filters are off.
    OutputPage out;
    for (auto& band : out.session.parameters.outputPeq) band[1].type = 0;
    out.page->LoadChannel(1);
    out.page->RecomputeCrossover();
    out.page->DrawPeqResponse(0);
    QVERIFY(out.page->Graph().Picture().pixelColor(570, 56) != graph::paint::kWhitePen);
    out.session.parameters.crossover[1].hpfFrequency = kHpfOff;
    out.session.parameters.crossover[1].lpfFrequency = kLpfOff;
    out.page->DrawPeqResponse(0);  // the stale table is not added once both filters are off
    QCOMPARE(out.page->Graph().Picture().pixelColor(570, 56), graph::paint::kWhitePen);
  }

  void AScreenReaderSetsTheSpinnersAndPressesTheBands() {
    OutputPage out;
    QAccessibleInterface* gain = QAccessible::queryAccessibleInterface(out.Bar(kOutputGainBar));
    QVERIFY(gain != nullptr && gain->valueInterface() != nullptr);
    QCOMPARE(gain->role(), QAccessible::SpinBox);
    QCOMPARE(gain->text(QAccessible::Name), QString("Level"));
    QCOMPARE(gain->text(QAccessible::Value),
             out.page->ControlAs<FilteredEdit>(kOutputGainEdit)->text());
    // Its value is the gain's code, which grows with the gain, as the thumb going up does.
    QAccessibleValueInterface* value = gain->valueInterface();
    QCOMPARE(value->currentValue().toInt(), int(out.session.parameters.outputPeq[0][0].gain));
    QCOMPARE(value->maximumValue().toInt(), kGainBarMax);
    value->setCurrentValue(30);
    QCOMPARE(out.session.parameters.outputPeq[0][0].gain, std::uint8_t{30});
    QCOMPARE(out.page->ControlAs<FilteredEdit>(kOutputGainEdit)->text(), QString("3.0dB"));
    QCOMPARE(out.TakeFrames(), std::vector<std::string>{"(01$047100030)"});

    // A band button is a radio button its press action checks.
    QAccessibleInterface* band2 = QAccessible::queryAccessibleInterface(
        out.page->ControlAs<DrawnButton>(kOutputBandButton1 + 1));
    QCOMPARE(band2->role(), QAccessible::RadioButton);
    QCOMPARE(band2->text(QAccessible::Name), QString("Band 2"));
    QVERIFY(!band2->state().checked);
    band2->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(out.page->Band(), 2);
    QVERIFY(band2->state().checked);

    // A greyed page takes nothing from a screen reader either.
    out.page->setEnabled(false);
    value->setCurrentValue(10);
    QVERIFY(out.TakeFrames().empty());
  }
};

QTEST_MAIN(PeqPagesTest)
#include "peq_pages_test.moc"
