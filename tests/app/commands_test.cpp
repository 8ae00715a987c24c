// The File, Program and Device menu commands: their dialogs, checks, messages, the parameter set
// they change and the frames they send to a unit on a pseudo-terminal.
#include "app/window/commands.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>

#include "app/dialogs/program_dialogs.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/window/status_line.h"
#include "app_harness.h"
#include "model/parameters_file.h"
#include "pages/filtered_edit.h"

using namespace corvella;
using namespace corvella::app;
using namespace std::chrono_literals;
using corvella::app::test::BoxLog;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::DialogDriver;
using corvella::app::test::FileNameAnswer;
using corvella::app::test::Window;

namespace {

std::string NameOf(const ProgramParameters& p) {
  return std::string(p.programName.data(), p.programName.size());
}

bool WriteBytes(const QString& path, qsizetype size, char fill) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(QByteArray(size, fill)) == size;
}

// Waits for the unit to have received `count` frames and returns the last one.
std::string LastFrameAfter(ConnectedWindow& c, std::size_t count) {
  if (!QTest::qWaitFor([&] { return c.Frames().size() >= count; }, 5000)) return {};
  return c.Frames().back();
}

}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void deviceInformationChecksRunInOrder() {
    const auto check = [](const char* id, const char* name) {
      return CheckDeviceInfo(QString::fromLatin1(id), QString::fromLatin1(name))
          .value_or(QStringLiteral("ok"));
    };
    QCOMPARE(check("1", "(abc"), QStringLiteral("error! Device name include'('"));
    QCOMPARE(check("1", "ab)c"), QStringLiteral("error! Device name include')'"));
    // The name's brackets are judged before the ID, and an empty ID before an empty name.
    QCOMPARE(check("", "a(b)"), QStringLiteral("error! Device name include'('"));
    QCOMPARE(check("", ""), QStringLiteral("ID error!"));
    QCOMPARE(check("5", ""), QStringLiteral("Device Name error!"));
    for (const char* bad : {"0", "11", "x", "00"})
      QCOMPARE(check(bad, "Stage"), QStringLiteral("ID error!"));
    QCOMPARE(check("10", "Stage left"), QStringLiteral("ok"));
    QCOMPARE(check("7x", "Stage left"), QStringLiteral("ok"));  // the leading number counts

    // The dialog stays open on a failed check and shows the message under "Input error".
    BoxLog boxes;
    DeviceInfoDialog dialog(false, 3, QStringLiteral("ignored"), nullptr);
    QCOMPARE(dialog.idText(), QStringLiteral("1"));
    QCOMPARE(dialog.name(), QStringLiteral("NULL"));
    dialog.nameEdit()->setText(QStringLiteral("ab)c"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Input error"));
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
    dialog.idEdit()->setText(QStringLiteral("7"));
    dialog.nameEdit()->setText(QStringLiteral("Stage left"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(boxes.boxes.size(), std::size_t{1});

    DeviceInfoDialog known(true, 9, QStringLiteral("Front fill...."), nullptr);
    QCOMPARE(known.idText(), QStringLiteral("9"));
    QCOMPARE(known.name(), QStringLiteral("Front fill...."));
  }

  void programNameIsPaddedTo25AndStoredEvenWithoutAUnit() {
    Window w;
    QString typed = QStringLiteral("Live");
    DialogDriver driver([&](QDialog& d) {
      auto& dialog = dynamic_cast<ProgramNameDialog&>(d);
      QCOMPARE(dialog.edit()->maxLength(), 25);
      dialog.edit()->setText(typed);
      dialog.accept();
    });
    w.view().OnCommand(cmd::kEditProgramName);
    QCOMPARE(NameOf(w.session().parameters), std::string("Live") + std::string(21, '.'));

    typed = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY");
    w.view().OnCommand(cmd::kEditProgramName);
    QCOMPARE(NameOf(w.session().parameters), std::string("ABCDEFGHIJKLMNOPQRSTUVWXY"));

    // Cancel changes nothing.
    DialogDriver cancel([](QDialog& d) { d.reject(); });
    w.view().OnCommand(cmd::kEditProgramName);
    QCOMPARE(NameOf(w.session().parameters), std::string("ABCDEFGHIJKLMNOPQRSTUVWXY"));
  }

  void programNameEditRefusesBracketsOnceFocused() {
    ProgramNameDialog dialog(QString(), nullptr);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.edit()->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return dialog.edit()->hasFocus(); }, 2000));
    QCOMPARE(dialog.edit()->filterMode, std::uint8_t{pages::kFilterName});
    QTest::keyClicks(dialog.edit(), QStringLiteral("a(b)c k"));
    QCOMPARE(dialog.name(), QStringLiteral("abc k"));
  }

  void programAndDeviceCommandsSendTheirFrames() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    c.window.session().parameters.programNumber = 2;

    // "Save As Current  Program  In Device": memory 4 of the list.
    DialogDriver saveAs([](QDialog& d) {
      auto& dialog = dynamic_cast<ProgramSaveAsDialog&>(d);
      QCOMPARE(dialog.list()->currentIndex(), 1);  // program 2 preselected
      QCOMPARE(dialog.list()->count(), 6);
      dialog.list()->setCurrentIndex(3);
      dialog.accept();
    });
    view.OnCommand(cmd::kSaveProgramInDevice);
    QCOMPARE(LastFrameAfter(c, 1), std::string("(01S004)"));
    QCOMPARE(c.window.session().link.identityShown, 1);
    QVERIFY(QTest::qWaitFor(
        [&] { return view.statusLine()->text() == QStringLiteral("-> Save  OK..."); }, 5000));

    // "Edit Current Device Information": ID 7, "Stage left".
    const std::size_t before = c.Frames().size();
    DialogDriver identity([](QDialog& d) {
      auto& dialog = dynamic_cast<DeviceInfoDialog&>(d);
      dialog.idEdit()->setText(QStringLiteral("7"));
      dialog.nameEdit()->setText(QStringLiteral("Stage left"));
      dialog.accept();
    });
    view.OnCommand(cmd::kEditDeviceInformation);  // greyed: nothing happens
    QCOMPARE(identity.runs, 0);
    c.window.session().link.deviceInfoEditable = 1;
    // The store's read-back is a chain of its own: the command waits until it has ended.
    QVERIFY(view.engine().ChainRunning());
    QVERIFY(!view.IsCommandEnabled(cmd::kEditDeviceInformation));
    view.OnCommand(cmd::kEditDeviceInformation);
    QCOMPARE(identity.runs, 0);
    QVERIFY(QTest::qWaitFor([&] { return !view.engine().ChainRunning(); }, 5000));
    view.OnCommand(cmd::kEditDeviceInformation);
    // The store's read-back may still be talking; pick the identity frame out of what follows.
    std::string change;
    QVERIFY(QTest::qWaitFor(
        [&] {
          const std::vector<std::string> frames = c.Frames();
          for (std::size_t i = before; i < frames.size(); ++i) {
            if (frames[i].rfind("(01Z", 0) == 0) change = frames[i];
          }
          return !change.empty();
        },
        5000));
    QCOMPARE(change, std::string("(01Z07Stage left....)"));
  }

  void programListShowsTheSixMemoriesAndRecallsOne() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    QStringList lines;
    bool heldWhileReading = false;
    DialogDriver list([&](QDialog& d) {
      auto& dialog = dynamic_cast<ListProgramDialog&>(d);
      heldWhileReading = dialog.mouseHeld();
      dialog.show();  // the engine writes lines into a visible dialog only
      QVERIFY(QTest::qWaitFor([&] { return !dialog.mouseHeld(); }, 20000));
      for (int n = 1; n <= 6; ++n) lines << dialog.line(n);
      QVERIFY(!dialog.recallButton(5)->isEnabled());
      QTest::mouseClick(dialog.recallButton(2), Qt::LeftButton);
    });
    view.OnCommand(cmd::kListProgram);
    QVERIFY(heldWhileReading);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QStringLiteral("Program No.1        Demo Program............."));
    QCOMPARE(lines[1], QStringLiteral("Program No.2        Speech..................."));
    QCOMPARE(lines[4], QStringLiteral("Program No.5       No Used"));
    QCOMPARE(lines[5], QStringLiteral("Program No.6       No Used"));
    QCOMPARE(view.listDialog()->recalled(), 2);
    QVERIFY(QTest::qWaitFor(
        [&] {
          const std::vector<std::string> frames = c.Frames();
          return std::find(frames.begin(), frames.end(), "(01R002)") != frames.end();
        },
        5000));
    QCOMPARE(c.Frames().front(), std::string("(01I001)"));
  }

  void openRefusesFilesOfTheWrongLength() {
    QTemporaryDir dir;
    Window w;
    BoxLog boxes;
    const ProgramParameters before = w.session().parameters;
    for (qsizetype size : {167, 169, 0}) {
      const QString path = dir.filePath(QStringLiteral("bad%1.asc").arg(size));
      QVERIFY(WriteBytes(path, size, 1));
      FileNameAnswer answer(path);
      boxes.boxes.clear();
      w.view().OnCommand(cmd::kFileOpen);
      QCOMPARE(boxes.boxes.size(), std::size_t{1});
      QCOMPARE(boxes.boxes[0].text, QStringLiteral("The File is invalid...!"));
      QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Warning"));
      QVERIFY(ToImage(w.session().parameters) == ToImage(before));
      QVERIFY(w.view().statusLine()->text().isEmpty());
    }

    // A saved file opens again; its name becomes the view's program-name text.
    w.session().parameters.programName.fill('Z');
    const QString good = dir.filePath(QStringLiteral("good.asc"));
    {
      FileNameAnswer answer(good);
      w.view().OnCommand(cmd::kFileSaveAs);
    }
    QCOMPARE(QFileInfo(good).size(), qint64{168});
    QCOMPARE(w.view().statusLine()->text(), QStringLiteral("-> File Saved Success...!"));
    w.session().parameters = before;
    boxes.boxes.clear();
    {
      FileNameAnswer answer(good);
      w.view().OnCommand(cmd::kFileOpen);
    }
    QVERIFY(boxes.boxes.empty());
    QCOMPARE(w.view().statusLine()->text(), QStringLiteral("-> File Open Success...!"));
    QCOMPARE(w.session().programNameText, std::string(25, 'Z'));

    // A file that cannot be created is reported, not claimed as saved.
    FileNameAnswer nowhere(dir.filePath(QStringLiteral("missing/folder/x.asc")));
    w.view().OnCommand(cmd::kFileSaveAs);
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Error"));
  }

  void loadDefaultSettingAsksAndStopsOnABadFile() {
    QTemporaryDir dir;
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    view.SetFactoryDefaultFolder(dir.path().toStdString());
    Session& session = c.window.session();
    session.parameters.programName.fill('P');
    const ProgramParameters before = session.parameters;
    BoxLog boxes;

    // "No" ends the command before the file is looked for.
    view.OnCommand(cmd::kLoadDefaultSetting);
    QCOMPARE(boxes.boxes.size(), std::size_t{1});
    QCOMPARE(boxes.boxes[0].text,
             QStringLiteral("Are you sure you want to load default setting ?"));
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Question:"));
    QCOMPARE(boxes.boxes[0].defaultButton, QMessageBox::No);
    QVERIFY(ToImage(session.parameters) == ToImage(before));

    // Yes, but there is no file.
    boxes.answers = {QMessageBox::Yes};
    view.OnCommand(cmd::kLoadDefaultSetting);
    QCOMPARE(boxes.boxes.size(), std::size_t{3});
    QCOMPARE(boxes.boxes[2].text, QStringLiteral("File is invalid or not exist..."));
    QCOMPARE(boxes.boxes[2].caption, QStringLiteral("Error"));

    // Yes, with a default of the wrong length: the warning, and then nothing at all.
    const QString path = dir.filePath(QStringLiteral("factory default.asc"));
    QVERIFY(WriteBytes(path, 167, 0));
    boxes.answers = {QMessageBox::Yes};
    view.OnCommand(cmd::kLoadDefaultSetting);
    QCOMPARE(boxes.boxes.size(), std::size_t{5});
    QCOMPARE(boxes.boxes[4].text, QStringLiteral("  File is invalid or not exist...!"));
    QCOMPARE(boxes.boxes[4].caption, QStringLiteral("Warning"));
    QVERIFY(ToImage(session.parameters) == ToImage(before));

    // A good default is loaded under the factory name and sent to the connected unit.
    ProgramParameters defaults{};
    ResetParameters(defaults);
    defaults.inputLevel[0] = 7;
    QVERIFY(SaveParametersFile(path.toStdString(), defaults).ok);
    boxes.answers = {QMessageBox::Yes};
    view.OnCommand(cmd::kLoadDefaultSetting);
    QCOMPARE(NameOf(session.parameters), std::string(kFactoryDefaultName));
    QCOMPARE(session.parameters.inputLevel[0], std::uint8_t{7});
    // The first frame the unit ever saw: the damaged default sent nothing before it.
    QVERIFY(QTest::qWaitFor([&] { return !c.Frames().empty(); }, 5000));
    QCOMPARE(c.Frames().front(), std::string("(01J0003factory default..........)"));
    // Its progress moves as the blocks go out: the name, then block after block.
    QProgressBar* bar = view.statusBar()->progress();
    QVERIFY(QTest::qWaitFor([&] { return bar->value() >= 3; }, 10000));
    QCOMPARE(bar->maximum(), 36);
    QVERIFY(!bar->isHidden());
    QCOMPARE(view.transmitDialog()->progress()->value(), bar->value());
  }

  void programMenuDisplaysNumberAndName() {
    Window w;
    BoxLog boxes;
    w.session().parameters.programNumber = 4;
    w.view().OnCommand(cmd::kDisplayProgramNumber);
    w.view().OnCommand(cmd::kDisplayProgramName);
    QCOMPARE(boxes.boxes.size(), std::size_t{2});
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("4"));
    QCOMPARE(boxes.boxes[0].caption, QStringLiteral("Current Program No."));
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("factory default.........."));
    QCOMPARE(boxes.boxes[1].caption, QStringLiteral("Current Program Name"));
  }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
