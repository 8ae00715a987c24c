// The main window as the operator first meets it: start-up state, menus that follow the link, page
// selection, the shaped page buttons and the status line.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include "app/dialogs/search_dialog.h"
#include "app/dialogs/select_dialog.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/window/application.h"
#include "app/window/commands.h"
#include "app/window/region_button.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "pages/output_peq_page.h"
#include "pages/page_set.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::Window;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsOnTheLineInputPeqPageWithNothingKnown() {
    Window w;
    MainView& view = w.view();
    QCOMPARE(w.frame.windowTitle(), QStringLiteral(" Corvella - Untitled"));
    QVERIFY(!w.frame.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    pages::PageSet& set = view.pageSet();
    QWidget* inputPeq = set.Page(pages::PageKind::InputPeq);
    QVERIFY(!inputPeq->isHidden());
    for (pages::PageKind other : {pages::PageKind::Level, pages::PageKind::Crossover,
                                  pages::PageKind::OutputPeq, pages::PageKind::DelayCompressor}) {
      QVERIFY(set.Page(other)->isHidden());
    }
    QCOMPARE(inputPeq->pos(), QPoint(20, 275));
    for (const QString& value : view.HeaderValues()) QCOMPARE(value, QStringLiteral("NULL"));
    QVERIFY(view.statusLine()->text().isEmpty());
    QVERIFY(view.LineLabelLit());
    QCOMPARE(view.selection().inputChannel, 1);
    QCOMPARE(std::string(w.session().parameters.programName.data(), kProgramNameLength),
             std::string(kFactoryDefaultName));
    QVERIFY(view.searchDialog()->isHidden());
    QVERIFY(view.transmitDialog()->isHidden());
  }

  void menusHaveEveryItemAndSeparatorInOrder() {
    Window w;
    QStringList seen;
    for (QAction* top : w.frame.menuBar()->actions()) {
      QStringList items;
      for (QAction* item : top->menu()->actions()) {
        items << (item->isSeparator() ? QStringLiteral("-") : item->text());
      }
      seen << top->text() + QStringLiteral(": ") + items.join(QStringLiteral(" | "));
    }
    const QStringList expected{
        QStringLiteral("&File: &Open...\tCtrl+O | Save &As... | - | E&xit"),
        QStringLiteral("&Edit: &Undo\tCtrl+Z | &Redo\tCtrl+Y"),
        QStringLiteral("&Communications: Enable Communications | Disable Communications"),
        QStringLiteral("&Program: Display Current Program No. | Display Current Program Name | - | "
                       "Edit Current Program Name | - | List Program && Recall | "
                       "Save As Current  Program  In Device | - | Load default setting"),
        QStringLiteral("&Device: Edit Current Device Information"),
        QStringLiteral(
            "&Tools: System Response... | Correct From Measurement... | "
            "Import Filter Text... | Export Filter Text... | - | Compare With Device... | "
            "Verify After Download | Fast Transfer | - | Store As A | Store As B | "
            "Switch A/B\tF9 | - | Units On All Ports... | Protocol Journal") +
            QString::fromLatin1(CORVELLA_REMOTE_CONTROL ? " | Remote Control..." : ""),
        QStringLiteral("&Help: &About "),
    };
    QCOMPARE(seen, expected);
    QCOMPARE(w.frame.action(cmd::kFileOpen)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  }

  void menuEnablingFollowsTheLinkState() {
    Window w;
    link::LinkState& link = w.session().link;
    const auto enabled = [&](int command) { return w.frame.action(command)->isEnabled(); };
    const auto openProgramMenu = [&] {
      for (QAction* top : w.frame.menuBar()->actions()) emit top->menu()->aboutToShow();
    };

    openProgramMenu();
    QVERIFY(enabled(cmd::kFileOpen));
    QVERIFY(enabled(cmd::kEnableCommunications));
    QVERIFY(!enabled(cmd::kDisableCommunications));
    QVERIFY(!enabled(cmd::kListProgram));
    QVERIFY(!enabled(cmd::kSaveProgramInDevice));
    QVERIFY(!enabled(cmd::kEditDeviceInformation));
    for (int always :
         {cmd::kFileSaveAs, cmd::kAppExit, cmd::kDisplayProgramNumber, cmd::kDisplayProgramName,
          cmd::kEditProgramName, cmd::kLoadDefaultSetting, cmd::kAppAbout}) {
      QVERIFY2(enabled(always), qPrintable(QString::number(always)));
    }

    // A search in progress greys "Enable" only; the engine reports each step, the menus follow.
    link.searching = 1;
    w.view().LinkStateChanged();
    QVERIFY(!enabled(cmd::kEnableCommunications));
    QVERIFY(!enabled(cmd::kDisableCommunications));
    QVERIFY(enabled(cmd::kFileOpen));

    link.searching = 0;
    link.linkConnected = 1;
    openProgramMenu();
    QVERIFY(!enabled(cmd::kFileOpen));
    QVERIFY(enabled(cmd::kFileSaveAs));
    QVERIFY(!enabled(cmd::kEnableCommunications));
    QVERIFY(enabled(cmd::kDisableCommunications));
    QVERIFY(enabled(cmd::kListProgram));
    QVERIFY(enabled(cmd::kSaveProgramInDevice));
    QVERIFY(!enabled(cmd::kEditDeviceInformation));

    link.deviceInfoEditable = 1;
    openProgramMenu();
    QVERIFY(enabled(cmd::kEditDeviceInformation));

    // A greyed command that still arrives (its shortcut) does nothing.
    BoxLog boxes;
    test::FileNameAnswer never(QStringLiteral("/nonexistent/never-read.asc"));
    w.view().OnCommand(cmd::kFileOpen);
    QVERIFY(boxes.boxes.empty());
  }

  void pageSelectionKeepsOnePageAndReloadsItForTheNewChannel() {
    Window w;
    MainView& view = w.view();
    pages::PageSet& set = view.pageSet();

    view.OnCommand(cmd::kHighPeq);
    QWidget* shown = set.VisiblePage();
    QCOMPARE(shown, set.Page(pages::PageKind::OutputPeq));
    QCOMPARE(set.OutputPeq().Channel(), 0);
    QVERIFY(view.OutputLabelLit(0));
    QVERIFY(!view.OutputLabelLit(1));

    view.OnCommand(cmd::kLowPeq);
    QCOMPARE(set.VisiblePage(), shown);
    QCOMPARE(set.OutputPeq().Channel(), 1);
    QVERIFY(!view.OutputLabelLit(0));
    QVERIFY(view.OutputLabelLit(1));
    QVERIFY(set.Page(pages::PageKind::InputPeq)->isHidden());

    // The compressor command leaves both channels as they were.
    view.OnCommand(cmd::kMicPeq);
    QVERIFY(!view.LineLabelLit());
    view.OnCommand(cmd::kCompressor);
    QCOMPARE(set.VisiblePage(), set.Page(pages::PageKind::DelayCompressor));
    QCOMPARE(view.selection().inputChannel, 0);
    QCOMPARE(view.selection().outputChannel, 1);

    // The buttons send their commands: the LINE level arrow lights the input label again.
    QTest::mouseClick(view.pageButton(cmd::kLineLevel), Qt::LeftButton, {},
                      view.pageButton(cmd::kLineLevel)->rect().center());
    QCOMPARE(set.VisiblePage(), set.Page(pages::PageKind::Level));
    QVERIFY(view.LineLabelLit());
  }

  void pageCommandsWithoutFocusKeepKeysOutOfTheStatusLine() {
    // The level, delay and LOW crossover commands give no page the focus; the keys typed next
    // must not land in the status line instead.
    Window w;
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    MainView& view = w.view();
    for (int command : {cmd::kLineLevel, cmd::kHighDelay, cmd::kLowCrossover, cmd::kCompressor}) {
      view.OnCommand(cmd::kLinePeq);
      QVERIFY(view.pageSet().VisiblePage()->isAncestorOf(QApplication::focusWidget()));
      view.OnCommand(command);
      QVERIFY2(QApplication::focusWidget() != view.statusLine(),
               qPrintable(QString::number(command)));
      QTest::keyClicks(QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                              : static_cast<QWidget*>(&w.frame),
                       QStringLiteral("x"));
      QVERIFY(view.statusLine()->text().isEmpty());
    }
  }

  void regionButtonReactsOnlyInsideItsShape() {
    QWidget parent;
    parent.resize(400, 200);
    const RegionButtonColors colors{Qt::gray, Qt::red, Qt::red, Qt::lightGray};
    RegionButton pill(QStringLiteral("PEQ"), PillShape(), QPoint(10, 10), &parent, 1002, 2, colors);
    RegionButton arrow(QStringLiteral("LEVEL    "), ArrowShape(), QPoint(150, 10), &parent, 1004, 2,
                       colors);
    parent.show();
    QCOMPARE(pill.geometry(), QRect(10, 10, 96, 32));
    QCOMPARE(arrow.geometry(), QRect(150, 10, 88, 47));

    // Points of the bounding box outside the shape (QTest reads (0,0) as "the centre"): the pill's
    // four corners; the arrow head's right-hand corners and the gaps above and below its middle.
    const std::vector<QPoint> pillOutside{{1, 1}, {94, 1}, {1, 30}, {94, 30}};
    const std::vector<QPoint> arrowOutside{{86, 1}, {86, 45}, {40, 2}, {40, 44}};
    for (RegionButton* button : {&pill, &arrow}) {
      QSignalSpy sent(button, &RegionButton::commandTriggered);
      for (QPoint outside : button == &pill ? pillOutside : arrowOutside) {
        QVERIFY(!button->containsPoint(outside));
        QTest::mouseClick(button, Qt::LeftButton, {}, outside);
        QTest::mouseMove(button, outside);
        QVERIFY(!button->isHovered());
      }
      QCOMPARE(sent.count(), 0);
      const QPoint inside = button == &arrow ? QPoint(20, 24) : QPoint(48, 16);
      QTest::mouseMove(button, inside);
      QVERIFY(button->isHovered());
      QTest::mouseClick(button, Qt::LeftButton, {}, inside);
      QCOMPARE(sent.count(), 1);
      QCOMPARE(sent.at(0).at(0).toInt(), button->command());
    }
  }

  void selectDialogListsUnitsAndFollowsTheHighlight() {
    // Indexes are positions in discovery order; the list is walked by index, not by position.
    const std::vector<link::FoundDevice> devices{{1, 2, 7, 0, "Front fill...."},
                                                 {2, 5, 3, 1, "Stage left...."}};
    SelectDialog dialog(devices, nullptr);
    QCOMPARE(dialog.list()->count(), 2);
    QCOMPARE(dialog.list()->item(0)->text(), QStringLiteral("Device ID........... 7"));
    QCOMPARE(dialog.list()->item(1)->text(), QStringLiteral("Device ID........... 3"));
    QCOMPARE(dialog.idEdit()->text(), QStringLiteral("7"));
    QCOMPARE(dialog.nameEdit()->text(), QStringLiteral("Front fill...."));
    QVERIFY(dialog.uploadButton()->isChecked());
    QVERIFY(dialog.connectButton()->isDefault());

    dialog.list()->setCurrentRow(1);
    QCOMPARE(dialog.idEdit()->text(), QStringLiteral("3"));
    QCOMPARE(dialog.nameEdit()->text(), QStringLiteral("Stage left...."));
    dialog.downloadButton()->setChecked(true);
    QTest::mouseClick(dialog.connectButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.listIndex(), std::size_t{1});
    QCOMPARE(dialog.transferDirection(), 1);

    SelectDialog cancelled(devices, nullptr);
    QTest::keyClick(&cancelled, Qt::Key_Escape);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));

    // A double click on a line connects nothing; Enter is "Connect". The unit's name bytes read
    // as the header and the identity dialog read them.
    const std::vector<link::FoundDevice> accented{{1, 1, 4, 0, "B\xfchne left..."}};
    SelectDialog keyed(accented, nullptr);
    keyed.show();
    QCOMPARE(keyed.nameEdit()->text(), QString::fromLatin1("B\xfchne left..."));
    const QRect line = keyed.list()->visualItemRect(keyed.list()->item(0));
    QTest::mouseDClick(keyed.list()->viewport(), Qt::LeftButton, {}, line.center());
    QVERIFY(keyed.isVisible());
    QTest::keyClick(keyed.list(), Qt::Key_Return);
    QCOMPARE(keyed.result(), int(QDialog::Accepted));
  }

  void pageButtonCaptionsGrabNoKeys() {
    // "COMPRESSOR & LIMITER" reads as plain text: its "& " must not turn Alt+Space, the window
    // menu's key, into a page command.
    Window w;
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    pages::PageSet& set = w.view().pageSet();
    QWidget* linePeq = set.VisiblePage();
    QTest::keyClick(&w.frame, Qt::Key_Space, Qt::AltModifier);
    QTest::keyClick(&w.frame, Qt::Key_L, Qt::AltModifier);
    QTest::qWait(200);  // a shortcut's click is animated
    QCOMPARE(set.VisiblePage(), linePeq);
    for (RegionButton* button : w.view().pageButtons()) QVERIFY(button->shortcut().isEmpty());
  }

  void statusLineRefusesOnlyTheOpeningBracket() {
    StatusLineEdit edit;
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("a(b)c("));
    QCOMPARE(edit.text(), QStringLiteral("ab)c"));
    edit.insert(QStringLiteral("x(y"));  // as a paste does
    QCOMPARE(edit.text(), QStringLiteral("ab)c"));
    edit.SetText(QStringLiteral("-> Response Ok"));
    QCOMPARE(edit.text(), QStringLiteral("-> Response Ok"));
  }

  void commandLineTakesPortsDemoLogAndLeavesQtOptionsToQt() {
    const auto parse = [](std::initializer_list<const char*> args) {
      QStringList list{QStringLiteral("corvella")};
      for (const char* a : args) list << QString::fromLatin1(a);
      return ParseCommandLine(list);
    };
    const CommandLine full = parse({"--ports", "/dev/ttyUSB1, /dev/ttyS0", "-platform", "offscreen",
                                    "--demo", "--log=/tmp/x.log", "-reverse"});
    QVERIFY2(full.options.has_value(), qPrintable(full.message));
    QCOMPARE(full.options->ports.Paths(), (std::vector<std::string>{"/dev/ttyUSB1", "/dev/ttyS0"}));
    QVERIFY(full.options->demo);
    QCOMPARE(full.options->logPath.value_or(""), std::string("/tmp/x.log"));
    QVERIFY(full.options->screenshotsDir.isEmpty());

    const CommandLine plain = parse({});
    QVERIFY(plain.options.has_value());
    QVERIFY(!plain.options->demo);
    QVERIFY(!plain.options->logPath.has_value());
    QVERIFY(plain.options->presetFile.isEmpty());
    // One file name is the preset to open, wherever it stands among the options.
    const CommandLine preset = parse({"--demo", "stage left.asc"});
    QVERIFY2(preset.options.has_value(), qPrintable(preset.message));
    QCOMPARE(preset.options->presetFile, QStringLiteral("stage left.asc"));

    for (const CommandLine& bad : {parse({"--bogus"}), parse({"one.asc", "two.asc"}),
                                   parse({"--ports"}), parse({"--screenshots"})}) {
      QVERIFY(!bad.options.has_value());
      QCOMPARE(bad.exitCode, 2);
      QVERIFY(!bad.message.isEmpty());
    }
    const CommandLine help = parse({"--help"});
    QVERIFY(!help.options.has_value());
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.message.contains(QStringLiteral("--demo")));
  }

  void exitAsksFirstAndNoKeepsTheWindow() {
    Window w;
    w.frame.show();
    BoxLog boxes;
    boxes.answers = {QMessageBox::No, QMessageBox::Yes};
    QVERIFY(!w.frame.close());
    QVERIFY(w.frame.isVisible());
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    const MessageRequest& ask = boxes.boxes[0];
    QCOMPARE(ask.text, QStringLiteral("Are you sure you want to exit ?"));
    QCOMPARE(ask.caption, QStringLiteral("Exit"));
    QCOMPARE(ask.icon, QMessageBox::Question);
    QCOMPARE(ask.defaultButton, QMessageBox::No);
    QVERIFY(ask.buttons == (QMessageBox::Yes | QMessageBox::No));
    w.view().OnCommand(cmd::kAppExit);
    QVERIFY(!w.frame.isVisible());
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
