// The main view's side of the link: what the engine asks of the user interface (LinkView), shown
// with the view's panels, dialogs and message boxes.
#include <utility>

#include "app/dialogs/program_dialogs.h"
#include "app/dialogs/prompts.h"
#include "app/dialogs/search_dialog.h"
#include "app/dialogs/select_dialog.h"
#include "app/dialogs/transmit_dialog.h"
#include "app/tools/compare_dialog.h"
#include "app/tools/tuning_history.h"
#include "app/window/commands.h"
#include "app/window/main_view.h"
#include "app/window/status_line.h"
#include "pages/page_set.h"

namespace corvella::app {
namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::StandardButton ToQt(link::BoxAnswer answer) {
  switch (answer) {
    case link::BoxAnswer::Yes:
      return QMessageBox::Yes;
    case link::BoxAnswer::No:
      return QMessageBox::No;
    case link::BoxAnswer::Cancel:
      return QMessageBox::Cancel;
    case link::BoxAnswer::Ok:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(link::BoxIcon icon) {
  switch (icon) {
    case link::BoxIcon::Stop:
      return QMessageBox::Critical;
    case link::BoxIcon::Exclamation:
      return QMessageBox::Warning;
    case link::BoxIcon::Question:
      return QMessageBox::Question;
    case link::BoxIcon::Information:
      return QMessageBox::Information;
    case link::BoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void MainView::SetStatusText(std::string_view text) {
  statusLine()->SetText(Latin1(text));
}

void MainView::ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) {
  const TransferWatch::EndEffect effect = transferWatch_.OnChainEnded(chain, outcome);
  ShowTransferStep();
  // The status line already shows the text that said the transfer failed (unless that was a
  // box); it stands out until the next status replaces it.
  if (effect.warning && statusLine()->text() == Latin1(detail)) {
    statusLine()->SetText(statusLine()->text(), true);
  }
  if (effect.markChanged) RepaintHeader();
  FollowComparison(chain, outcome);
  if (history_ != nullptr) history_->ChainEnded(chain, outcome);
  if (follower_.chainEnded) follower_.chainEnded(chain, outcome);
}

void MainView::ParameterEdited(const ParameterRef& ref) {
  if (history_ != nullptr) history_->ParameterEdited(ref);
}

void MainView::ProgressChanged(const link::Progress& progress) {
  transferWatch_.OnProgress(progress);
  ShowTransferStep();
}

void MainView::EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) {
  if (follower_.editAnswered) follower_.editAnswered(ref, frame, right);
}

void MainView::ShowTransferStep() {
  transmit_->ShowStep(transferWatch_.Step(), transferWatch_.Steps());
  statusBar_->ShowProgress(transferWatch_.Step(), transferWatch_.Steps());
}

link::BoxAnswer MainView::ShowMessageBox(const link::MessageBoxRequest& box) {
  MessageRequest request;
  request.text = box.textFromSystem ? QString::fromLocal8Bit(box.text.c_str()) : Latin1(box.text);
  request.caption = Latin1(box.caption);
  request.icon = ToQt(box.icon);
  request.buttons = box.buttons == link::BoxButtons::YesNo
                        ? (QMessageBox::Yes | QMessageBox::No)
                        : QMessageBox::StandardButtons(QMessageBox::Ok);
  request.defaultButton = ToQt(box.defaultButton);
  switch (ShowMessage(this, request)) {
    case QMessageBox::Yes:
      return link::BoxAnswer::Yes;
    case QMessageBox::No:
      return link::BoxAnswer::No;
    case QMessageBox::Ok:
      return link::BoxAnswer::Ok;
    default:
      return link::BoxAnswer::Cancel;
  }
}

void MainView::ShowRepairWarning() {
  ShowMessage(this, {Latin1(kRepairWarningText), Latin1(kRepairWarningCaption),
                     QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok});
}

void MainView::ShowSearchDialog() {
  search_->Start();
  search_->show();
  search_->raise();
}

void MainView::HideSearchDialog() {
  search_->Stop();
  search_->hide();
}

std::optional<link::SelectChoice> MainView::RunSelectDialog(
    const std::vector<link::FoundDevice>& devices) {
  SelectDialog dialog(devices, this);
  if (RunModal(dialog) != QDialog::Accepted) return std::nullopt;
  return link::SelectChoice{dialog.listIndex(), dialog.transferDirection()};
}

void MainView::ShowTransmittingDialog() {
  transmit_->show();
  transmit_->raise();
}

void MainView::HideTransmittingDialog() {
  transmit_->hide();
}

void MainView::RepaintHeader() {
  update(kHeaderRect);
}

void MainView::ReloadAllPages(link::ReloadForm form) {
  pages_->ReloadAllPages(form);
  if (form == link::ReloadForm::FileLoad) {
    update();
    if (history_ != nullptr) history_->Commit(StepKind::OpenFile);
  }
}

void MainView::ShowProgramListLine(int n, std::string_view text, bool enableRecall) {
  if (list_->isVisible()) list_->SetLine(n, Latin1(text), enableRecall);
}

void MainView::ReleaseMouseCapture() {
  list_->SetMouseHeld(false);
}

void MainView::LinkStateChanged() {
  if (pages_) pages_->SetEditable(!engine().ChainRunning());
  if (compare_ != nullptr) compare_->SetBusy(engine().ChainRunning());
  if (follower_.linkStateChanged) follower_.linkStateChanged();
  emit linkStateChanged();
}

}  // namespace corvella::app
