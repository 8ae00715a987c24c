// Every message box, file dialog and modal dialog of the window goes through these functions, so
// a test can answer them instead of a person (and no test is ever left waiting in a modal loop).
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace corvella::app {

struct MessageRequest {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

using MessageHook = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
using FileNameHook = std::function<QString(bool forSaving)>;
using DialogHook = std::function<int(QDialog&)>;
using FolderHook = std::function<QString(const QString& caption)>;

// An empty hook restores the real prompt.
void SetMessageHook(MessageHook hook);
void SetFileNameHook(FileNameHook hook);
void SetDialogHook(DialogHook hook);
void SetFolderHook(FolderHook hook);

QMessageBox::StandardButton ShowMessage(QWidget* parent, const MessageRequest& request);
// The box ShowMessage runs, not yet shown: at least as wide as its title needs.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const MessageRequest& request);
// The width a window needs for a window manager to show `title` whole: the caption in a bold
// title font, the window icon and the three title-bar buttons.
int TitleBarWidth(const QString& title);
// The common "OK"-only boxes.
void ShowError(QWidget* parent, const QString& text, const QString& caption);
void ShowStop(QWidget* parent, const QString& text, const QString& caption);
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption);

// A parameters-file name chosen by the user; empty when cancelled.
QString AskParametersFileName(QWidget* parent, bool forSaving);
// A folder chosen by the user under `caption`; empty when cancelled.
QString AskFolder(QWidget* parent, const QString& caption);

// Runs `dialog` modally and returns its result code.
int RunModal(QDialog& dialog);

}  // namespace corvella::app
