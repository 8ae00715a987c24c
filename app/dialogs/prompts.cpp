#include "app/dialogs/prompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <utility>

namespace corvella::app {
namespace {

MessageHook& MessageHookSlot() {
  static MessageHook hook;
  return hook;
}
FileNameHook& FileNameHookSlot() {
  static FileNameHook hook;
  return hook;
}
DialogHook& DialogHookSlot() {
  static DialogHook hook;
  return hook;
}
FolderHook& FolderHookSlot() {
  static FolderHook hook;
  return hook;
}

}  // namespace

void SetMessageHook(MessageHook hook) {
  MessageHookSlot() = std::move(hook);
}
void SetFileNameHook(FileNameHook hook) {
  FileNameHookSlot() = std::move(hook);
}
void SetDialogHook(DialogHook hook) {
  DialogHookSlot() = std::move(hook);
}
void SetFolderHook(FolderHook hook) {
  FolderHookSlot() = std::move(hook);
}

int TitleBarWidth(const QString& title) {
  // Room for the window icon, the minimise, maximise and close buttons and the bar's margins.
  constexpr int kTitleBarExtras = 150;
  QFont font = QApplication::font();
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(title) + kTitleBarExtras;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageRequest& request) {
  auto box = std::make_unique<QMessageBox>(request.icon, request.caption, request.text,
                                           request.buttons, parent);
  if (request.defaultButton != QMessageBox::NoButton) box->setDefaultButton(request.defaultButton);
  // A box sizes itself to its text; a short text under a long title ("1" under "Current Program
  // No.") leaves the window manager too little room and it cuts the title. A box that is wide
  // enough already stays exactly as it was.
  const int wanted = TitleBarWidth(request.caption);
  auto* grid = qobject_cast<QGridLayout*>(box->layout());
  if (grid != nullptr && box->sizeHint().width() < wanted) {
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const MessageRequest& request) {
  if (MessageHookSlot()) return MessageHookSlot()(request);
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, request);
  return static_cast<QMessageBox::StandardButton>(box->exec());
}

void ShowError(QWidget* parent, const QString& text, const QString& caption) {
  ShowMessage(parent, {text, caption, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
}

void ShowStop(QWidget* parent, const QString& text, const QString& caption) {
  // The stop sign and the error sign are the same icon on this platform.
  ShowError(parent, text, caption);
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
  return ShowMessage(parent, {text, caption, QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No}) ==
         QMessageBox::Yes;
}

QString AskParametersFileName(QWidget* parent, bool forSaving) {
  if (FileNameHookSlot()) return FileNameHookSlot()(forSaving);
  const QString filter = QStringLiteral("Parameters File(*.asc)");
  QFileDialog dialog(parent, QString(), QString(), filter);
  dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("asc"));
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString AskFolder(QWidget* parent, const QString& caption) {
  if (FolderHookSlot()) return FolderHookSlot()(caption);
  return QFileDialog::getExistingDirectory(parent, caption);
}

int RunModal(QDialog& dialog) {
  if (DialogHookSlot()) return DialogHookSlot()(dialog);
  return dialog.exec();
}

}  // namespace corvella::app
