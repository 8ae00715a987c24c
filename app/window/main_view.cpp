#include "app/window/main_view.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

#include "app/dialogs/program_dialogs.h"
#include "app/dialogs/prompts.h"
#include "app/dialogs/search_dialog.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/tools/compare_dialog.h"
#include "app/tools/tuning_history.h"
#include "app/window/commands.h"
#include "app/window/page_keys.h"
#include "app/window/region_button.h"
#include "app/window/status_line.h"
#include "app/window/system_colors.h"
#include "graph/paint/graph_background.h"
#include "model/parameters_file.h"
#include "pages/page_set.h"

#ifndef CORVELLA_VERSION
#define CORVELLA_VERSION "0"
#endif

namespace corvella::app {
namespace {

// Everything the view draws and places fits in this area.
constexpr int kViewWidth = 1010;
constexpr int kViewHeight = 670;
const QPoint kPanelPosition(300, 230);
const QPoint kStatusBarPosition(20, 630);

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

struct ButtonRow {
  const char* caption;
  int x;
  int y;
  QRegion (*shape)();
  int command;
  int borderWidth;
  QColor color;
};

}  // namespace

MainView::MainView(link::Port& port, int portCount, QWidget* parent)
    : QWidget(parent),
      timers_(new QtTimerHost),
      controller_(std::make_unique<core::UnitController>(
          port, std::unique_ptr<link::TimerHost>(timers_), *this, portCount)),
      background_(graph::paint::MakeGraphBackground()) {
  setObjectName(QStringLiteral("mainView"));
  setMinimumSize(kViewWidth, kViewHeight);
  resize(kViewWidth, kViewHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Page edits commit by handing the focus to the view.
  setFocusPolicy(Qt::ClickFocus);
  // The header and the page buttons keep the narrow bold face their fixed positions were laid out
  // for; the pages and panels keep the application's font.
  headerFont_ = QFont(QStringLiteral("DejaVu Sans"));
  headerFont_.setPixelSize(13);
  headerFont_.setBold(true);
  headerFont_.setStretch(QFont::Condensed);

  CreateButtons();
  pages_ = std::make_unique<pages::PageSet>(
      pages::PageContext{session(), controller_->Edits(), crossover_, background_, selection_},
      this);
  statusBar_ = new StatusLineBar(this);
  statusBar_->move(kStatusBarPosition);
  search_ = new SearchDialog(this);
  search_->move(kPanelPosition);
  search_->hide();
  connect(search_, &SearchDialog::cancelRequested, this, [this] { controller_->CancelSearch(); });
  transmit_ = new TransmitDialog(this);
  transmit_->move(kPanelPosition);
  transmit_->hide();
  list_ = new ListProgramDialog(this);
  connect(list_, &ListProgramDialog::recallRequested, this,
          [this](int memory) { controller_->Recall(memory); });
  compare_ = new CompareDialog(this);
  connect(compare_, &CompareDialog::sendRequested, this, &MainView::SendPcValues);
  connect(compare_, &CompareDialog::takeRequested, this, &MainView::TakeDeviceValues);
  verifyAfterDownload_ = LoadVerifyAfterDownload();
  engine().SetFastTransfer(LoadFastTransfer());

  pages_->ReloadAllPages(link::ReloadForm::Startup);
  ShowPage(cmd::kLinePeq);

  TuningHistory::Hooks hooks;
  hooks.reloadPages = [this] { ShowSet(); };
  hooks.showStatus = [this](const QString& text) { statusLine()->SetText(text); };
  hooks.finishTyping = [this] {
    // Page edits commit by handing the focus to the view.
    const QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && pages_->VisiblePage() != nullptr &&
        pages_->VisiblePage()->isAncestorOf(focus)) {
      setFocus(Qt::OtherFocusReason);
    }
  };
  history_ = new TuningHistory(session(), engine(), std::move(hooks), this);
}

void MainView::ShowSet() {
  pages_->ReloadAllPages(link::ReloadForm::FileLoad);
  update();
}

MainView::~MainView() {
  // Edits a page commits as its focus goes away are no steps any more, and the window that
  // follows the history is already half gone.
  delete std::exchange(history_, nullptr);
  // No tick and no received byte may reach the engine once it starts going, and the pages, which
  // hold references to the engine and the records, go before either.
  timers_->SetClient(nullptr);
  timers_->KillAll();
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

void MainView::CreateButtons() {
  const QColor grey(128, 128, 128);
  const QColor green(0, 192, 0);
  const QColor blue(0, 128, 255);
  const std::array<ButtonRow, 11> rows{{
      {"PEQ", 140, 140, PillShape, cmd::kLinePeq, 2, grey},
      {"HPF/LPF", 420, 90, BarShape, cmd::kHighCrossover, 1, grey},
      {"HPF/LPF", 420, 190, BarShape, cmd::kLowCrossover, 1, grey},
      {"PEQ", 510, 90, BarShape, cmd::kHighPeq, 1, grey},
      {"PEQ", 510, 190, BarShape, cmd::kLowPeq, 1, grey},
      {"DELAY", 780, 90, BarShape, cmd::kHighDelay, 1, grey},
      {"DELAY", 780, 190, BarShape, cmd::kLowDelay, 1, grey},
      {"COMPRESSOR & LIMITER", 646, 140, WideBarShape, cmd::kCompressor, 1, green},
      {"LEVEL    ", 280, 132, ArrowShape, cmd::kLineLevel, 2, blue},
      {"LEVEL   ", 600, 82, ArrowShape, cmd::kHighLevel, 2, blue},
      {"LEVEL    ", 600, 182, ArrowShape, cmd::kLowLevel, 2, blue},
  }};
  const QColor red(255, 0, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ButtonRow& row = rows[i];
    auto* button =
        new RegionButton(QString::fromLatin1(row.caption), row.shape(), QPoint(row.x, row.y), this,
                         row.command, row.borderWidth, {row.color, red, red, SysColor::kBtnFace});
    button->setObjectName(QStringLiteral("button%1").arg(row.command));
    button->setFont(headerFont_);
    connect(button, &RegionButton::commandTriggered, this, &MainView::OnCommand);
    buttons_[i] = button;
  }
  AddPageKeys(*this, buttons_);
}

RegionButton* MainView::pageButton(int command) const {
  for (RegionButton* button : buttons_) {
    if (button != nullptr && button->command() == command) return button;
  }
  return nullptr;
}

StatusLineEdit* MainView::statusLine() const {
  return statusBar_->edit();
}

// ---- commands ----

void MainView::OnCommand(int command) {
  if (command >= cmd::kFirstPage && command <= cmd::kLastPage) {
    ShowPage(command);
    return;
  }
  if (!IsCommandEnabled(command)) return;  // a shortcut may arrive while its item is greyed
  if (TuningHistory::IsHistoryCommand(command)) {
    history_->RunCommand(command);
    emit linkStateChanged();
    return;
  }
  switch (command) {
    case cmd::kFileOpen:
      OpenParametersFile();
      break;
    case cmd::kFileSaveAs:
      SaveParametersFile();
      break;
    case cmd::kAppExit:
      emit exitRequested();
      break;
    case cmd::kEnableCommunications:
      controller_->Search();
      break;
    case cmd::kDisableCommunications:
      controller_->Disconnect();
      break;
    case cmd::kDisplayProgramNumber:
      DisplayProgramNumber();
      break;
    case cmd::kDisplayProgramName:
      DisplayProgramName();
      break;
    case cmd::kEditProgramName:
      EditProgramName();
      break;
    case cmd::kListProgram:
      ListProgramAndRecall();
      break;
    case cmd::kSaveProgramInDevice:
      SaveProgramInDevice();
      break;
    case cmd::kLoadDefaultSetting: {
      const TuningHistory::Group step(*history_, StepKind::FactoryDefault);
      LoadFactoryDefault();
      break;
    }
    case cmd::kEditDeviceInformation:
      EditDeviceInformation();
      break;
    case cmd::kAppAbout:
      ShowAbout();
      break;
    case cmd::kCompareWithDevice:
      CompareWithDevice();
      break;
    case cmd::kVerifyAfterDownload:
      SetVerifyAfterDownload(!verifyAfterDownload_);
      break;
    case cmd::kFastTransfer:
      SetFastTransfer(!engine().FastTransfer());
      break;
    default:
      break;
  }
  emit linkStateChanged();
}

bool MainView::IsCommandEnabled(int command) const {
  const link::LinkState& link = session().link;
  // Commands that start a chain, or change the set a chain is reading or writing, wait for it.
  const bool idle = !engine().ChainRunning();
  switch (command) {
    case cmd::kFileOpen:
      return link.linkConnected == 0 && idle;
    case cmd::kEnableCommunications:
      return engine().CanEnableCommunications();
    case cmd::kDisableCommunications:
      // Stays available during a chain: it is the way to give up a transfer.
      return engine().CanDisableCommunications();
    case cmd::kListProgram:
    case cmd::kSaveProgramInDevice:
    case cmd::kCompareWithDevice:
      return link.linkConnected == 1 && idle;
    case cmd::kEditDeviceInformation:
      return link.deviceInfoEditable == 1 && idle;
    case cmd::kEditProgramName:
    case cmd::kLoadDefaultSetting:
      return idle;
    default:
      return history_ == nullptr || history_->IsCommandEnabled(command);
  }
}

bool MainView::IsCommandChecked(int command) const {
  return (command == cmd::kVerifyAfterDownload && verifyAfterDownload_) ||
         (command == cmd::kFastTransfer && engine().FastTransfer());
}

void MainView::ShowPage(int command) {
  const std::optional<pages::PageCommand> row = pages::FindPageCommand(command);
  if (!row) return;
  if (row->inputChannel >= 0) selection_.inputChannel = row->inputChannel;
  if (row->outputChannel >= 0) selection_.outputChannel = row->outputChannel;
  update(QRect(40, 95, 120, 30));   // "LINE INPUT"
  update(QRect(920, 45, 90, 130));  // "HIGH" and "LOW"
  pages_->ShowPage(command);
}

// ---- painting ----

std::array<QString, 4> MainView::HeaderValues() const {
  std::array<QString, 4> values;
  if (session().link.identityShown == 0) {
    values.fill(QStringLiteral("NULL"));
  } else {
    const ProgramParameters& p = session().parameters;
    values = {QString::number(p.programNumber), Latin1(session().HeaderProgramName()),
              QString::number(session().link.deviceId), Latin1(session().link.deviceName)};
  }
  // The unit may hold part of one program and part of another until a transfer succeeds.
  if (transferWatch_.Incomplete()) values[1] += QStringLiteral(" (incomplete)");
  return values;
}

bool MainView::LineLabelLit() const {
  return selection_.inputChannel == 1;
}
bool MainView::OutputLabelLit(int output) const {
  return selection_.outputChannel == output;
}

void MainView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
  painter.setFont(headerFont_);
  painter.setBackgroundMode(Qt::OpaqueMode);
  const QFontMetrics metrics(headerFont_);

  // Text drawn from its top-left corner on an opaque background, as a plain device context does.
  const auto text = [&](int x, int y, const QString& s, const QColor& fg, const QColor& bg) {
    painter.setPen(fg);
    painter.setBackground(bg);
    painter.drawText(x, y + metrics.ascent(), s);
  };
  const std::array<QString, 4> values = HeaderValues();
  text(50, 10, QStringLiteral("Current Program No:"), Qt::black, Qt::white);
  text(50, 30, QStringLiteral("Current Program Name:"), Qt::black, Qt::white);
  text(650, 10, QStringLiteral("Current Device ID:"), Qt::black, Qt::white);
  text(650, 30, QStringLiteral("Current Device Name:"), Qt::black, Qt::white);
  text(220, 10, values[0], Qt::black, Qt::white);
  text(220, 30, values[1], Qt::black, Qt::white);
  text(800, 10, values[2], Qt::black, Qt::white);
  text(800, 30, values[3], Qt::black, Qt::white);

  const QColor yellow(255, 255, 0);
  const auto label = [&](int x, int y, const QString& s, bool lit) {
    text(x, y, s, lit ? Qt::black : Qt::white, lit ? yellow : Qt::black);
  };
  label(50, 105, QStringLiteral("LINE INPUT"), LineLabelLit());
  label(930, 55, QStringLiteral("HIGH"), OutputLabelLit(0));
  label(930, 155, QStringLiteral("LOW"), OutputLabelLit(1));
}

// ---- File menu ----

void MainView::OpenParametersFile() {
  OpenParametersFileAt(AskParametersFileName(this, false));
}

void MainView::OpenParametersFileAt(const QString& path) {
  std::optional<std::filesystem::path> file;
  if (!path.isEmpty()) file = std::filesystem::path(path.toStdU16String());
  // The set as opened (and repaired) is what the title's "*" compares with.
  if (controller_->OpenParametersFile(file).ok) history_->MarkOpened(path, session().parameters);
}

void MainView::SaveParametersFile() {
  const QString path = AskParametersFileName(this, true);
  if (path.isEmpty()) return;
  if (controller_->SaveParametersFile(std::filesystem::path(path.toStdU16String())).ok) {
    history_->MarkSaved(path);
  }
}

void MainView::LoadFactoryDefault() {
  if (!AskYesNo(this, Latin1(kLoadDefaultQuestionText), Latin1(kLoadDefaultQuestionCaption))) {
    return;
  }
  (void)controller_->LoadFactoryDefault();
}

// ---- Program and Device menus ----

void MainView::DisplayProgramNumber() {
  ShowMessage(this, {QString::number(session().parameters.programNumber),
                     QStringLiteral("Current Program No."), QMessageBox::NoIcon, QMessageBox::Ok,
                     QMessageBox::Ok});
}

void MainView::DisplayProgramName() {
  const auto& name = session().parameters.programName;
  ShowMessage(this, {Latin1(std::string_view(name.data(), name.size())),
                     QStringLiteral("Current Program Name"), QMessageBox::NoIcon, QMessageBox::Ok,
                     QMessageBox::Ok});
}

void MainView::EditProgramName() {
  const auto& name = session().parameters.programName;
  ProgramNameDialog dialog(Latin1(std::string_view(name.data(), name.size())), this);
  if (RunModal(dialog) != QDialog::Accepted) return;
  controller_->Rename(dialog.name().toLatin1().toStdString());
  history_->Commit(StepKind::ProgramName);
  RepaintHeader();
}

void MainView::ListProgramAndRecall() {
  list_->Reset();
  list_->move(250, 275);
  list_->SetMouseHeld(true);
  controller_->ListPrograms();
  RunModal(*list_);
  list_->SetMouseHeld(false);
}

void MainView::SaveProgramInDevice() {
  ProgramSaveAsDialog dialog(session().parameters.programNumber, this);
  if (RunModal(dialog) != QDialog::Accepted) return;
  controller_->Store(dialog.memory());
}

void MainView::EditDeviceInformation() {
  const link::LinkState& link = session().link;
  DeviceInfoDialog dialog(link.identityShown == 1, link.deviceId, Latin1(link.deviceName), this);
  if (RunModal(dialog) != QDialog::Accepted) return;
  controller_->ChangeIdentity(dialog.id(), dialog.name().toLatin1().toStdString());
}

void MainView::ShowAbout() {
  ShowMessage(this, {QStringLiteral("Corvella Version %1\n\nController for a two-way active "
                                    "loudspeaker DSP unit.")
                         .arg(QStringLiteral(CORVELLA_VERSION)),
                     QStringLiteral("About Corvella"), QMessageBox::Information, QMessageBox::Ok,
                     QMessageBox::Ok});
}

// ---- Tools menu ----

void MainView::CompareWithDevice() {
  ReadUnitFor(ReadPurpose::Compare);
}

void MainView::SetVerifyAfterDownload(bool on) {
  verifyAfterDownload_ = on;
  SaveVerifyAfterDownload(on);
}

void MainView::SetFastTransfer(bool on) {
  engine().SetFastTransfer(on);
  SaveFastTransfer(on);
}

void MainView::ReadUnitFor(ReadPurpose purpose) {
  // Asked at the end of a chain, the engine starts the read once that chain's step is done.
  reading_ = purpose;
  if (!controller_->ReadBack(session().parameters)) reading_ = ReadPurpose::None;
}

void MainView::FollowComparison(link::Chain chain, link::Outcome outcome) {
  // A failed read or send has said why on the status line or in a box already.
  const bool done = outcome == link::Outcome::Done;
  switch (chain) {
    case link::Chain::ReadUnit: {
      const ReadPurpose purpose = std::exchange(reading_, ReadPurpose::None);
      if (purpose == ReadPurpose::None || !done) return;
      unitProgram_ = controller_->UnitProgram();
      ShowComparison(controller_->ReadBackDifferences(), purpose == ReadPurpose::Verify);
      return;
    }
    case link::Chain::SendEdits:
      // After a wrong answer the rest was still sent: reading the unit shows what it took.
      if (std::exchange(sendingEdits_, false) && (done || outcome == link::Outcome::WrongAnswer)) {
        ReadUnitFor(ReadPurpose::Compare);
      }
      return;
    case link::Chain::Download:
      if (done && verifyAfterDownload_) ReadUnitFor(ReadPurpose::Verify);
      return;
    default:
      return;
  }
}

void MainView::ShowComparison(std::vector<ParameterDifference> differences,
                              bool onlyWhenDifferent) {
  if (onlyWhenDifferent && differences.empty() && !compare_->isVisible()) return;
  compare_->SetDifferences(std::move(differences));
  compare_->SetBusy(engine().ChainRunning());
  compare_->show();
  compare_->raise();
  compare_->activateWindow();
}

void MainView::SendPcValues() {
  if (engine().ChainRunning()) return;
  sendingEdits_ = controller_->SendEdits(compare_->DifferingParameters());
}

void MainView::TakeDeviceValues() {
  if (engine().ChainRunning()) return;
  // As an upload takes the unit's program: repaired, with its warning, and every page reloaded.
  controller_->TakeProgram(unitProgram_);
  history_->Commit(StepKind::TakeDeviceValues);
  ShowComparison(DiffParameters(session().parameters, unitProgram_), false);
}

}  // namespace corvella::app
