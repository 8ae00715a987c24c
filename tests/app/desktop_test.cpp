// The window as a desktop user meets it: dialogs that take clicks where their controls are, a
// window that fits the screen's free area, transfer failures that stand out, a preset named on the
// command line, the keyboard reaching every page and spinner.
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/dialogs/program_dialogs.h"
#include "app/dialogs/search_dialog.h"
#include "app/dialogs/select_dialog.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/tools/journal_window.h"
#include "app/window/application.h"
#include "app/window/commands.h"
#include "app/window/page_keys.h"
#include "app/window/region_button.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "link/protocol_engine.h"
#include "model/parameters_file.h"
#include "model/scales.h"
#include "pages/delay_page.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_set.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::BoxLog;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::Window;

namespace {

// Whether a click on the middle of `control`, delivered to its window as the window system
// delivers it, reaches that control (or a part of it).
bool ClickReaches(QWidget& window, QWidget* control) {
  const QPoint at = control->mapTo(&window, control->rect().center());
  QWidget* hit = window.childAt(at);
  return hit == control || control->isAncestorOf(hit);
}

// Every control of `dialog` an operator can click: none may lie under another widget.
void ExpectEveryControlClickable(QWidget& dialog) {
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  int checked = 0;
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QLineEdit*>(child) != nullptr ||
                         qobject_cast<QAbstractButton*>(child) != nullptr ||
                         qobject_cast<QComboBox*>(child) != nullptr ||
                         qobject_cast<QListWidget*>(child) != nullptr;
    if (!control || !child->isVisible() || qobject_cast<QLineEdit*>(child->parentWidget())) {
      continue;
    }
    if (qobject_cast<QComboBox*>(child->parentWidget()) != nullptr) continue;
    QVERIFY2(ClickReaches(dialog, child), qPrintable(dialog.windowTitle() + QStringLiteral(": ") +
                                                     child->metaObject()->className() +
                                                     QStringLiteral(" ") + child->objectName()));
    ++checked;
  }
  QVERIFY(checked >= 2);
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void deviceInformationEditsTakeTheirClicks() {
    QWidget parent;
    DeviceInfoDialog dialog(true, 3, QStringLiteral("Stage"), &parent);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Clicks through the window, as the mouse delivers them: each edit takes the focus.
    for (QLineEdit* edit : {dialog.nameEdit(), dialog.idEdit(), dialog.nameEdit()}) {
      QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {},
                        edit->mapTo(&dialog, edit->rect().center()));
      QVERIFY(edit->hasFocus());
    }
    QTest::keyClicks(dialog.nameEdit(), QStringLiteral("x"));
    QVERIFY(dialog.nameEdit()->text().contains(QLatin1Char('x')));
  }

  void everyDialogsControlsLieOnTop() {
    QWidget parent;
    DeviceInfoDialog device(false, 1, QString(), &parent);
    ExpectEveryControlClickable(device);
    const std::vector<link::FoundDevice> devices{{1, 1, 1, 0, "Corvella Demo."}};
    SelectDialog select(devices, &parent);
    ExpectEveryControlClickable(select);
    ProgramNameDialog name(QStringLiteral("factory default"), &parent);
    ExpectEveryControlClickable(name);
    ProgramSaveAsDialog saveAs(1, &parent);
    ExpectEveryControlClickable(saveAs);
    ListProgramDialog list(&parent);
    ExpectEveryControlClickable(list);
  }

  void dialogTitlesHaveRoomToShowWhole() {
    QWidget parent;
    // The boxes the operator met cut off: "Current Program No." over "1", "Input error".
    for (const auto& [caption, text] :
         {std::pair{QStringLiteral("Current Program No."), QStringLiteral("1")},
          std::pair{QStringLiteral("Input error"), QStringLiteral("ID error!")},
          std::pair{QStringLiteral("Current Program Name"), QStringLiteral("factory default")}}) {
      const std::unique_ptr<QMessageBox> box = MakeMessageBox(
          &parent, {text, caption, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
      box->show();
      QVERIFY(QTest::qWaitForWindowExposed(box.get()));
      QVERIFY2(
          box->width() >= TitleBarWidth(caption),
          qPrintable(caption +
                     QStringLiteral(": %1 < %2").arg(box->width()).arg(TitleBarWidth(caption))));
      box->hide();
    }
    // A box whose text is wider than its title keeps the size it always had.
    const MessageRequest wide{QStringLiteral("Are you sure you want to exit ?"),
                              QStringLiteral("Exit"), QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
    QMessageBox plain(wide.icon, wide.caption, wide.text, wide.buttons, &parent);
    plain.setDefaultButton(QMessageBox::No);
    plain.show();
    const std::unique_ptr<QMessageBox> made = MakeMessageBox(&parent, wide);
    made->show();
    QCOMPARE(made->size(), plain.size());
    // The fixed-size dialogs are wide enough for their titles.
    const std::vector<link::FoundDevice> devices{{1, 1, 1, 0, "Corvella Demo."}};
    SelectDialog select(devices, &parent);
    ProgramNameDialog name(QStringLiteral("x"), &parent);
    ProgramSaveAsDialog saveAs(1, &parent);
    ListProgramDialog list(&parent);
    DeviceInfoDialog device(false, 1, QString(), &parent);
    for (QDialog* dialog :
         std::initializer_list<QDialog*>{&select, &name, &saveAs, &list, &device}) {
      QVERIFY2(dialog->width() >= TitleBarWidth(dialog->windowTitle()),
               qPrintable(dialog->windowTitle() + QStringLiteral(": %1 < %2")
                                                      .arg(dialog->width())
                                                      .arg(TitleBarWidth(dialog->windowTitle()))));
    }
  }

  void windowOpensWithinTheAvailableArea() {
    Window w;
    w.frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
    // A small screen whose panels leave 800 x 560 free, starting below a 30-pixel top panel.
    const QRect available(0, 30, 800, 560);
    w.frame.PlaceWithin(available);
    QVERIFY2(available.contains(w.frame.frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(w.frame.frameGeometry().x())
                            .arg(w.frame.frameGeometry().y())
                            .arg(w.frame.frameGeometry().width())
                            .arg(w.frame.frameGeometry().height())));
    QCOMPARE(w.frame.frameGeometry().top(), 32);
    // The view keeps its size and scrolls: the status line can be brought into sight.
    auto* scroller = qobject_cast<QScrollArea*>(w.frame.centralWidget());
    QVERIFY(scroller != nullptr);
    QVERIFY(scroller->verticalScrollBar()->maximum() > 0);
    scroller->ensureWidgetVisible(w.view().statusLine());
    const QRect status(w.view().statusLine()->mapTo(scroller->viewport(), QPoint(0, 0)),
                       w.view().statusLine()->size());
    QVERIFY(scroller->viewport()->rect().intersects(status));
    // On a screen as large as the view, nothing scrolls.
    w.frame.PlaceWithin(QRect(0, 0, 1400, 900));
    QCOMPARE(w.frame.frameGeometry().top(), 2);
    QTRY_COMPARE(scroller->verticalScrollBar()->maximum(), 0);
  }

  void pageButtonsAnswerTheKeyboard() {
    Window w;
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    MainView& view = w.view();
    pages::PageSet& set = view.pageSet();

    // Ctrl+1 ... Ctrl+9, Ctrl+0, Ctrl+- select the pages in reading order, as the tooltips say.
    const std::array<QString, 11> keys = {
        QStringLiteral("Ctrl+1"), QStringLiteral("Ctrl+2"), QStringLiteral("Ctrl+3"),
        QStringLiteral("Ctrl+4"), QStringLiteral("Ctrl+5"), QStringLiteral("Ctrl+6"),
        QStringLiteral("Ctrl+7"), QStringLiteral("Ctrl+8"), QStringLiteral("Ctrl+9"),
        QStringLiteral("Ctrl+0"), QStringLiteral("Ctrl+-")};
    for (std::size_t i = kPageKeys.size(); i-- > 0;) {
      const int command = kPageKeys[i].command;
      QVERIFY(view.pageButton(command)->toolTip().endsWith(QStringLiteral("(") + keys[i] + ")"));
      view.OnCommand(command == cmd::kLinePeq ? cmd::kCompressor : cmd::kLinePeq);
      QTest::keySequence(&w.frame, QKeySequence(keys[i]));
      QCOMPARE(set.VisiblePage(), set.Page(pages::FindPageCommand(command)->page));
    }
    QVERIFY(view.LineLabelLit());     // Ctrl+1 chose the LINE input's page
    QVERIFY(view.OutputLabelLit(0));  // and Ctrl+3 the HIGH output's crossover before it

    // Tab goes round the page buttons in the same order; Space and Enter press them. Every widget
    // Tab stops on is one the operator can see.
    RegionButton* first = view.pageButton(kPageKeys[0].command);
    first->setFocus(Qt::TabFocusReason);
    QVERIFY(first->hasFocus());
    for (std::size_t i = 1; i < kPageKeys.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), view.pageButton(kPageKeys[i].command));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(set.VisiblePage(), set.Page(pages::PageKind::DelayCompressor));
    view.pageButton(cmd::kHighPeq)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.pageButton(cmd::kHighPeq), Qt::Key_Return);
    QCOMPARE(set.VisiblePage(), set.Page(pages::PageKind::OutputPeq));
    QCOMPARE(set.OutputPeq().Channel(), 0);
    for (int i = 0; i < 40; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus != nullptr);
      QVERIFY2(focus->isVisible() && focus->window() == &w.frame,
               qPrintable(QString::fromLatin1(focus->metaObject()->className())));
    }

    // The focus mark is drawn only on the button that has the focus.
    RegionButton* peq = view.pageButton(cmd::kHighPeq);
    peq->setFocus(Qt::TabFocusReason);
    const QImage marked = peq->grab().toImage();
    view.pageButton(cmd::kLowPeq)->setFocus(Qt::TabFocusReason);
    const QImage plain = peq->grab().toImage();
    QVERIFY(marked != plain);
  }

  void escapeEndsASearchAsDisableCommunicationsEndsALink() {
    const std::unique_ptr<sim::VirtualUnitHost> host = ConnectedWindow::StartHost();
    Window w({host->SlavePath()});
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    test::DialogDriver select([](QDialog&) {});
    MainView& view = w.view();
    view.OnCommand(cmd::kEnableCommunications);
    QVERIFY(view.searchDialog()->isVisible());
    QVERIFY(w.port.IsOpen());

    QTest::keyClick(&w.frame, Qt::Key_Escape);
    QVERIFY(view.searchDialog()->isHidden());
    QVERIFY(!view.engine().ChainRunning());
    QVERIFY(!w.port.IsOpen());
    QCOMPARE(w.session().link.searching, 0);
    QCOMPARE(view.statusLine()->text(), QStringLiteral("-> Stop connect..."));
    w.frame.UpdateCommandStates();
    QVERIFY(w.frame.action(cmd::kEnableCommunications)->isEnabled());
    QCOMPARE(select.runs, 0);
    // Without a search Escape means nothing to the window.
    view.SetStatusText(link::kResponseOk);
    QTest::keyClick(&w.frame, Qt::Key_Escape);
    QCOMPARE(view.statusLine()->text(), QStringLiteral("-> Response Ok"));
  }

  void tabWalksEveryPageInReadingOrderAndOutAgain() {
    Window w;
    // Peaking bands: every value of a band can be edited.
    for (auto& bands : w.session().parameters.inputPeq) bands[0] = bands[1] = {1, 60, 24, 30};
    for (auto& bands : w.session().parameters.outputPeq) bands[0] = bands[1] = {1, 60, 24, 30};
    w.view().ReloadAllPages(link::ReloadForm::FileLoad);
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    const QStringList peqIn{"1017", "1027", "1031", "1032", "1033"};
    const QStringList crossover{"1024", "1022", "1007", "1023"};
    const QStringList peqOut{"1009", "1006", "1034", "1035", "1036"};
    const QStringList delay{"1059", "1076", "1067", "1068", "1002", "1003", "1006", "1004"};
    // By the page keys' order: the controls Tab stops at on each page (a group of band buttons
    // or of phase buttons is one stop), left to right, each column from top to bottom.
    const std::array<QStringList, 11> expected = {peqIn,
                                                  QStringList{"1021"},
                                                  crossover,
                                                  peqOut,
                                                  QStringList{"1079", "1021"},
                                                  delay,
                                                  crossover,
                                                  peqOut,
                                                  QStringList{"1079", "1021"},
                                                  delay,
                                                  delay};
    RegionButton* first = w.view().pageButton(kPageKeys.front().command);
    RegionButton* last = w.view().pageButton(kPageKeys.back().command);
    for (std::size_t i = 0; i < kPageKeys.size(); ++i) {
      QTest::keySequence(&w.frame, PageShortcut(i));
      const QWidget* page = w.view().pageSet().VisiblePage();
      // From the last page button Tab goes through the page and on to the first page button;
      // Shift+Tab goes back the same way.
      for (const bool forward : {true, false}) {
        (forward ? last : first)->setFocus(Qt::TabFocusReason);
        QStringList stops;
        for (int k = 0; k < 20 && stops.size() < 20; ++k) {
          QTest::keyClick(QApplication::focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab);
          QWidget* focus = QApplication::focusWidget();
          if (!page->isAncestorOf(focus)) {
            QCOMPARE(focus, forward ? first : last);
            break;
          }
          stops << focus->objectName();
        }
        QStringList wanted = expected[i];
        if (!forward) std::reverse(wanted.begin(), wanted.end());
        QCOMPARE(stops, wanted);
      }
    }
  }

  void protocolJournalShowsTheFramesFiltersThemAndSavesTheLogsText() {
    QTemporaryDir dir;
    ConnectedWindow c;
    QVERIFY(c.opened);
    const QString log = dir.filePath(QStringLiteral("link.log"));
    QVERIFY(c.window.journal.Open(log.toStdString()));
    JournalWindow* journal = c.window.frame.ShowJournal();
    QVERIFY(journal != nullptr);
    c.window.view().pageSet().DelayCompressor().CommitDelay(0, 100);
    QTableWidget& table = *journal->Table();
    const auto rowOf = [&table](const QString& frame) {
      for (int row = 0; row < table.rowCount(); ++row) {
        if (table.item(row, 3)->text() == frame) return row;
      }
      return -1;
    };
    QTRY_VERIFY(rowOf(QStringLiteral("(01$0511000100)")) >= 0 &&
                rowOf(QStringLiteral("(01$051)")) >= 0);
    const int sent = rowOf(QStringLiteral("(01$0511000100)"));
    const int answer = rowOf(QStringLiteral("(01$051)"));
    QStringList cells = test::Row(table, sent);
    QCOMPARE(cells[2], QStringLiteral("sent"));
    QVERIFY2(cells[4].startsWith(QStringLiteral("Delay HIGH")), qPrintable(cells[4]));
    cells = test::Row(table, answer);
    QCOMPARE(cells.mid(2, 3), (QStringList{QStringLiteral("received"), QStringLiteral("(01$051)"),
                                           QStringLiteral("answer: Response Ok")}));
    QVERIFY(!cells[5].isEmpty());  // the answer's time
    // The filter: the edit is a write, no read and no error.
    for (const auto& [filter, shown] : {std::pair{JournalWindow::Filter::Writes, true},
                                        std::pair{JournalWindow::Filter::Reads, false},
                                        std::pair{JournalWindow::Filter::Errors, false},
                                        std::pair{JournalWindow::Filter::All, true}}) {
      journal->SetFilter(filter);
      QCOMPARE(!table.isRowHidden(sent), shown);
      QCOMPARE(!table.isRowHidden(answer), shown);
    }
    // Save writes what --log writes.
    const QString saved = dir.filePath(QStringLiteral("saved.log"));
    journal->SetFileChooser([&saved] { return saved; });
    QTest::mouseClick(journal->SaveButton(), Qt::LeftButton);
    c.window.journal.Flush();
    QFile written(saved);
    QFile logged(log);
    QVERIFY(written.open(QIODevice::ReadOnly) && logged.open(QIODevice::ReadOnly));
    const QByteArray text = logged.readAll();
    QVERIFY(text.contains("TX (01$0511000100)"));
    QCOMPARE(written.readAll(), text);
  }

  void altLettersOpenTheProgramAndDeviceMenus() {
    Window w;
    w.frame.show();
    QApplication::setActiveWindow(&w.frame);
    QVERIFY(QTest::qWaitForWindowActive(&w.frame));
    for (const auto& [key, title] : {std::pair{Qt::Key_P, QStringLiteral("&Program")},
                                     std::pair{Qt::Key_D, QStringLiteral("&Device")}}) {
      QTest::keyClick(&w.frame, key, Qt::AltModifier);
      QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(menu != nullptr);
      QCOMPARE(menu->title(), title);
      menu->close();
      QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    }
  }

  void aPresetNamedOnTheCommandLineOpensAsFileOpenDoes() {
    QTemporaryDir dir;
    ProgramParameters preset{};
    ResetParameters(preset);
    preset.inputLevel[0] = 77;
    preset.crossover[0].hpfType = 200;  // repaired on opening, with the warning
    const QString good = dir.filePath(QStringLiteral("stage left.asc"));
    QVERIFY(SaveParametersFile(good.toStdString(), preset).ok);
    const QString bad = dir.filePath(QStringLiteral("short.asc"));
    {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QByteArray(100, '\0'));
    }
    const auto start = [](const QString& file) {
      const CommandLine line = ParseCommandLine({QStringLiteral("corvella"), file});
      auto app = std::make_unique<Application>();
      QString error;
      if (!line.options || !app->InitInstance(*line.options, &error)) return decltype(app){};
      return app;
    };

    BoxLog boxes;
    {
      const std::unique_ptr<Application> app = start(good);
      QVERIFY(app != nullptr);
      MainView& view = *app->mainFrame()->view();
      QVERIFY(view.statusLine()->text().isEmpty());  // nothing before the window is up
      app->ShowMainWindow();
      QCOMPARE(view.statusLine()->text(), QStringLiteral("-> File Open Success...!"));
      QCOMPARE(view.session().parameters.inputLevel[0], std::uint8_t{77});
      QVERIFY(view.session().parameters.crossover[0].hpfType < 12);
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
      QCOMPARE(boxes.boxes[0].caption,
               QString::fromLatin1(kRepairWarningCaption.data(), kRepairWarningCaption.size()));
      // The pages show the file: the MIC level page reads it.
      view.OnCommand(cmd::kMicLevel);
      QCOMPARE(view.pageSet().Level().LevelEdit()->text(), QString::fromStdString(LevelText(77)));
      app->mainFrame()->hide();
    }
    // A file of the wrong length is refused with File > Open's box, and the set stays.
    boxes.boxes.clear();
    {
      const std::unique_ptr<Application> app = start(bad);
      QVERIFY(app != nullptr);
      app->ShowMainWindow();
      MainView& view = *app->mainFrame()->view();
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
      QCOMPARE(boxes.boxes[0].text, QStringLiteral("The File is invalid...!"));
      QVERIFY(view.statusLine()->text().isEmpty());
      ProgramParameters defaults{};
      ResetParameters(defaults);
      QCOMPARE(view.session().parameters.inputLevel[0], defaults.inputLevel[0]);
      app->mainFrame()->hide();
    }
  }

  void aFailedTransferStandsOutUntilATransferSucceeds() {
    // A download whose handshake the unit answers with garbage ends with "-> Response Error".
    QTemporaryDir dir;
    ConnectedWindow c;
    QVERIFY(c.opened);
    sim::FaultPlan garbled;
    garbled.garbleFor.prefixes = {"M00"};
    QVERIFY(c.host->SetFaults(0, garbled));
    MainView& view = c.window.view();
    view.SetFactoryDefaultFolder(dir.path().toStdString());
    ProgramParameters defaults{};
    ResetParameters(defaults);
    QVERIFY(SaveParametersFile(dir.filePath(QStringLiteral("factory default.asc")).toStdString(),
                               defaults)
                .ok);
    c.window.session().link.identityShown = 1;
    BoxLog boxes;
    boxes.answers = {QMessageBox::Yes};
    view.OnCommand(cmd::kLoadDefaultSetting);
    QVERIFY(QTest::qWaitFor(
        [&] { return view.statusLine()->text() == QStringLiteral("-> Response Error"); }, 5000));
    QVERIFY(view.statusLine()->ShowsWarning());
    QCOMPARE(view.statusLine()->palette().color(QPalette::Text), QColor(Qt::red));
    QCOMPARE(view.HeaderValues()[1], QStringLiteral("factory default.......... (incomplete)"));

    // The next status is in the usual colour; the mark stays until a transfer succeeds.
    view.SetStatusText(link::kResponseOk);
    QVERIFY(!view.statusLine()->ShowsWarning());
    QCOMPARE(view.statusLine()->palette().color(QPalette::Text),
             QApplication::palette(view.statusLine()).color(QPalette::Text));
    QVERIFY(view.HeaderValues()[1].endsWith(QStringLiteral(" (incomplete)")));
    // A refused transfer changes nothing; a page edit's failure is no transfer failure.
    view.ChainEnded(link::Chain::Upload, link::Outcome::Refused, {});
    view.SetStatusText(link::kResponseError);
    view.ChainEnded(link::Chain::PageEdit, link::Outcome::WrongAnswer, link::kResponseError);
    QVERIFY(!view.statusLine()->ShowsWarning());
    QVERIFY(view.HeaderValues()[1].endsWith(QStringLiteral(" (incomplete)")));
    // A transfer that succeeds clears the mark; one broken off by the operator is no failure
    // text, but leaves the unit unfinished again.
    view.ChainEnded(link::Chain::Upload, link::Outcome::Done, {});
    QCOMPARE(view.HeaderValues()[1], QStringLiteral("factory default.........."));
    view.SetStatusText(link::kDisconnected);
    view.ChainEnded(link::Chain::Download, link::Outcome::Cancelled, {});
    QVERIFY(!view.statusLine()->ShowsWarning());
    QVERIFY(view.HeaderValues()[1].endsWith(QStringLiteral(" (incomplete)")));
    // A failure told in a box leaves the status line as it is.
    view.SetStatusText(link::kSaveOk);
    view.ChainEnded(link::Chain::FactoryDefault, link::Outcome::WrongAnswer,
                    link::kProgramRestoreFailed);
    QVERIFY(!view.statusLine()->ShowsWarning());
  }

  void transferProgressShowsTheEnginesSteps() {
    Window w;
    MainView& view = w.view();
    QProgressBar* dialogBar = view.transmitDialog()->progress();
    QProgressBar* statusBar = view.statusBar()->progress();
    // A download: the dialog and the status line's end both count its steps.
    view.ShowTransmittingDialog();
    QVERIFY(dialogBar->isHidden());
    for (int step = 1; step <= 34; ++step) {
      view.ProgressChanged({link::Chain::Download, step, 34});
      QCOMPARE(dialogBar->value(), step);
      QCOMPARE(statusBar->value(), step);
    }
    QCOMPARE(dialogBar->text(), QStringLiteral("step 34 of 34"));
    QCOMPARE(statusBar->text(), QStringLiteral("step 34 of 34"));
    // A page edit answered or another chain refused meanwhile leaves the bars as they are.
    view.ChainEnded(link::Chain::PageEdit, link::Outcome::Done, {});
    view.ChainEnded(link::Chain::Recall, link::Outcome::Refused, {});
    QCOMPARE(statusBar->value(), 34);
    QVERIFY(!statusBar->isHidden());
    view.ChainEnded(link::Chain::Download, link::Outcome::Done, {});
    QVERIFY(dialogBar->isHidden());
    QVERIFY(statusBar->isHidden());

    // A factory default has more steps; one that fails takes its bar along and stands out.
    view.ProgressChanged({link::Chain::FactoryDefault, 5, 36});
    QCOMPARE(statusBar->text(), QStringLiteral("step 5 of 36"));
    view.SetStatusText(link::kConnectionLost);
    view.ChainEnded(link::Chain::FactoryDefault, link::Outcome::NoAnswer, link::kConnectionLost);
    QVERIFY(statusBar->isHidden());
    QVERIFY(view.statusLine()->ShowsWarning());
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
