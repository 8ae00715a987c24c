// The program's own controls, driven by keys, mouse and focus as an operator would.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "pages/decimal_edit.h"
#include "pages/drawn_button.h"
#include "pages/filtered_edit.h"

using namespace corvella::pages;

namespace {

// A window standing in for the main view, with one page inside it holding the controls.
struct Window {
  QWidget view;
  QWidget* page = new QWidget(&view);

  Window() {
    view.setFocusPolicy(Qt::StrongFocus);
    view.resize(400, 300);
    page->resize(400, 300);
  }
  bool Activate() {
    view.show();
    QApplication::setActiveWindow(&view);
    return QTest::qWaitForWindowActive(&view);
  }
};

QString Typed(std::uint8_t mode, const QString& keys) {
  FilteredEdit edit;
  edit.filterMode = mode;
  QTest::keyClicks(&edit, keys);
  return edit.text();
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void FilterModesLetThroughOnlyTheirCharacters() {
    QCOMPARE(Typed(kFilterFrequency, "1.5k"), QString("1.5k"));
    QCOMPARE(Typed(kFilterFrequency, "-1 KHz"), QString("1 K"));
    QCOMPARE(Typed(kFilterGain, "-3.5k"), QString("-3.5"));
    QCOMPARE(Typed(kFilterQ, "4.3-3(x)"), QString("4.33"));
    QCOMPARE(Typed(kFilterCrossover, "Off 1.2k Hz"), QString("Off 1.2k "));
    QCOMPARE(Typed(kFilterDelay, "-2.5ms"), QString("-2.5"));
    QCOMPARE(Typed(kFilterName, "My (best) prog"), QString("My best prog"));
    for (std::uint8_t mode : {kFilterDigits, kFilterRatio, kFilterRelease, kFilterAttack}) {
      QCOMPARE(Typed(mode, "1-2.5 kK"), QString("12.5 "));
    }
    // Control characters always reach the edit: Backspace still edits a filtered text.
    FilteredEdit edit;
    edit.filterMode = kFilterQ;
    QTest::keyClicks(&edit, "123");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), QString("12"));
  }

  void TypingLimitKeepsLongerProgramTextsWhole() {
    FilteredEdit edit;
    edit.filterMode = kFilterFrequency;
    edit.SetLimitText(5);
    edit.setText("1.00kHz");  // set by the program: stays whole
    QCOMPARE(edit.text(), QString("1.00kHz"));
    edit.end(false);
    QTest::keyClicks(&edit, "5");
    QCOMPARE(edit.text(), QString("1.00kHz"));
    edit.selectAll();
    QTest::keyClicks(&edit, "25000k");
    QCOMPARE(edit.text(), QString("25000"));
  }

  void EnterAndEscapeCommitByGivingTheFocusToTheView() {
    Window w;
    auto* edit = new FilteredEdit(w.page);
    QSignalSpy lost(edit, &FilteredEdit::focusLost);
    QVERIFY(w.Activate());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      edit->setFocus();
      QVERIFY(edit->hasFocus());
      QTest::keyClick(edit, key);
      QVERIFY(w.view.hasFocus());
    }
    QCOMPARE(lost.count(), 2);
  }

  void DecimalEditDotRules() {
    DecimalEdit edit;
    edit.setText(".");
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_5);
    QCOMPARE(edit.text(), QString("0.5"));
    QCOMPARE(edit.cursorPosition(), 3);

    edit.setText("1.2");
    edit.end(false);
    QTest::keyClicks(&edit, ".x-3");
    QCOMPARE(edit.text(), QString("1.23"));
    edit.selectAll();
    QTest::keyClicks(&edit, ".7");
    QCOMPARE(edit.text(), QString("0.7"));  // "." replaced the selection, then 7 after it

    edit.setText("");
    QTest::keyClicks(&edit, "12.5.");
    QCOMPARE(edit.text(), QString("12.5"));
  }

  void BandButtonsBehaveAsOneRadioGroup() {
    Window w;
    auto* b1 = new DrawnButton("1", 1009, 1, w.page);
    auto* b2 = new DrawnButton("2", 1010, 1, w.page);
    auto* b3 = new DrawnButton("3", 1011, 1, w.page);
    auto* other = new DrawnButton("x", 2000, 2, w.page);
    b1->setGeometry(0, 0, 40, 28);
    b2->setGeometry(0, 40, 40, 28);
    b3->setGeometry(0, 80, 40, 28);
    other->setGeometry(0, 120, 40, 28);
    other->SetCheck(true);
    b1->SetCheck(true);
    std::vector<int> sent;
    for (DrawnButton* b : {b1, b2, b3, other}) {
      connect(b, &DrawnButton::commandSent, this, [&sent](int id) { sent.push_back(id); });
    }
    QVERIFY(w.Activate());

    // A click checks the button, unchecks its group (not the other group) and sends its ID.
    QTest::mouseClick(b3, Qt::LeftButton);
    QVERIFY(b3->GetCheck() && !b1->GetCheck() && other->GetCheck());
    QCOMPARE(sent, std::vector<int>{1011});

    // Right from the last button wraps to the first; Left goes back.
    b3->setFocus();
    QTest::keyClick(b3, Qt::Key_Right);
    QVERIFY(b1->GetCheck() && !b3->GetCheck());
    QVERIFY(b1->hasFocus());
    QTest::keyClick(b1, Qt::Key_Down);
    QVERIFY(b2->GetCheck() && !b1->GetCheck());
    QTest::keyClick(b2, Qt::Key_Left);
    QVERIFY(b1->GetCheck());
    QCOMPARE(sent, (std::vector<int>{1011, 1009, 1010, 1009}));

    // Hidden members are skipped.
    b2->hide();
    QTest::keyClick(b1, Qt::Key_Right);
    QVERIFY(b3->GetCheck());

    // Space presses and, on release, checks.
    b1->setFocus();
    QVERIFY(b3->hasFocus());  // an unchecked button passes the focus to the checked one
    b2->show();
    QTest::keyPress(b3, Qt::Key_Space);
    QVERIFY(b3->IsPressed());
    QTest::keyRelease(b3, Qt::Key_Space);
    QVERIFY(!b3->IsPressed() && b3->GetCheck());
    QCOMPARE(sent.back(), 1011);

    // A press released outside the button does nothing.
    sent.clear();
    QTest::mousePress(b2, Qt::LeftButton);
    QVERIFY(b2->IsPressed());
    QTest::mouseRelease(b2, Qt::LeftButton, {}, QPoint(200, 200));
    QVERIFY(!b2->GetCheck() && !b2->IsPressed() && b3->GetCheck());
    QVERIFY(sent.empty());
  }

  void CheckedButtonIsRedAndPressedIsCheckered() {
    Window w;
    auto* b = new DrawnButton("1", 1, 1, w.page);
    b->setGeometry(0, 0, 40, 28);
    w.view.show();
    b->SetCheck(true);
    QImage checked = b->grab().toImage();
    QCOMPARE(checked.pixelColor(20, 3), QColor(255, 0, 0));
    QTest::mousePress(b, Qt::LeftButton);
    QImage pressed = b->grab().toImage();
    // Neighbouring pixels of the fill alternate between the window colour and its inverse.
    const QColor a = pressed.pixelColor(10, 5);
    const QColor c = pressed.pixelColor(11, 5);
    QCOMPARE(QColor(255 - a.red(), 255 - a.green(), 255 - a.blue()), c);
    QCOMPARE(pressed.pixelColor(10, 6), c);
    QTest::mouseRelease(b, Qt::LeftButton);
  }
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
