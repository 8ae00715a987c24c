#include "app/dialogs/program_dialogs.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/dialogs/dialog_units.h"
#include "app/dialogs/prompts.h"
#include "pages/filtered_edit.h"

namespace corvella::app {
namespace {

// A caption; a screen reader names `buddy` after it.
QLabel* AddLabel(QWidget* parent, const QString& text, QRect where, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(where);
  if (buddy != nullptr) label->setBuddy(buddy);
  return label;
}

// "OK" and "Cancel" side by side at dialog-unit position (x, y).
void AddOkCancel(QDialog* dialog, int x, int y) {
  auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setGeometry(DluRect(x, y, 50, 14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  cancel->setGeometry(DluRect(x + 58, y, 50, 14));
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

}  // namespace

// ---- 144: the program name ----

ProgramNameDialog::ProgramNameDialog(const QString& currentName, QWidget* parent)
    : QDialog(parent), edit_(new pages::FilteredEdit(this)) {
  setWindowTitle(QStringLiteral("Set Current Program Name"));
  setFixedSize(Dlu(186), Dlu(62));
  AddLabel(this, QStringLiteral("Edit Program Name:"), DluRect(10, 10, 80, 10), edit_);
  edit_->setGeometry(DluRect(10, 22, 166, 12));
  edit_->setMaxLength(kMaxLength);
  edit_->setText(currentName.left(kMaxLength));
  // The name travels inside a frame, so the brackets that delimit frames are kept out of it.
  connect(edit_, &pages::FilteredEdit::focusGained, this,
          [this] { edit_->filterMode = pages::kFilterName; });
  AddOkCancel(this, 68, 42);
}

QString ProgramNameDialog::name() const {
  return edit_->text().left(kMaxLength);
}

// ---- 145: the program memories ----

ListProgramDialog::ListProgramDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("List Program"));
  setFixedSize(Dlu(200), Dlu(134));
  for (int i = 0; i < kMemories; ++i) {
    const auto n = static_cast<std::size_t>(i);
    labels_[n] = AddLabel(this, QString(), DluRect(10, 10 + 20 * i, 130, 12));
    labels_[n]->setObjectName(QStringLiteral("program%1").arg(i + 1));
    recall_[n] = new QPushButton(QStringLiteral("Recall"), this);
    recall_[n]->setGeometry(DluRect(145, 9 + 20 * i, 45, 14));
    recall_[n]->setObjectName(QStringLiteral("recall%1").arg(i + 1));
    recall_[n]->setAccessibleName(QStringLiteral("Recall Program No.%1").arg(i + 1));
    connect(recall_[n], &QPushButton::clicked, this, [this, i] {
      if (mouseHeld_) return;
      recalled_ = i + 1;
      emit recallRequested(recalled_);
      accept();
    });
  }
  Reset();
}

void ListProgramDialog::Reset() {
  recalled_ = 0;
  for (int i = 0; i < kMemories; ++i) {
    const auto n = static_cast<std::size_t>(i);
    labels_[n]->setText(QStringLiteral("Program No.%1").arg(i + 1) + QString(14, QLatin1Char(' ')));
    recall_[n]->setEnabled(false);
  }
}

void ListProgramDialog::SetLine(int memory, const QString& text, bool recallEnabled) {
  if (memory < 1 || memory > kMemories) return;
  const auto n = static_cast<std::size_t>(memory - 1);
  labels_[n]->setText(text);
  if (recallEnabled) recall_[n]->setEnabled(true);
}

QString ListProgramDialog::line(int memory) const {
  if (memory < 1 || memory > kMemories) return {};
  return labels_[static_cast<std::size_t>(memory - 1)]->text();
}

QPushButton* ListProgramDialog::recallButton(int memory) const {
  if (memory < 1 || memory > kMemories) return nullptr;
  return recall_[static_cast<std::size_t>(memory - 1)];
}

// ---- 146: store as a memory ----

ProgramSaveAsDialog::ProgramSaveAsDialog(int programNumber, QWidget* parent)
    : QDialog(parent), list_(new QComboBox(this)) {
  setWindowTitle(QStringLiteral("Program Save As"));
  setFixedSize(Dlu(176), Dlu(62));
  AddLabel(this, QStringLiteral("Program Save as No."), DluRect(10, 14, 78, 10), list_);
  list_->setGeometry(DluRect(90, 12, 40, 60));
  list_->setFixedHeight(Dlu(13));
  AddLabel(this, QStringLiteral("Program"), DluRect(136, 14, 34, 10));
  for (int n = 1; n <= 6; ++n) list_->addItem(QStringLiteral("No.%1").arg(n));
  // A program number outside 1..6 leaves nothing selected.
  list_->setCurrentIndex(programNumber >= 1 && programNumber <= 6 ? programNumber - 1 : -1);
  AddOkCancel(this, 58, 40);
}

int ProgramSaveAsDialog::memory() const {
  return list_->currentIndex() + 1;
}

// ---- 147: the device identity ----

int LeadingId(const QString& idText) {
  int value = 0;
  for (const QChar ch : idText) {
    if (!ch.isDigit() || ch.unicode() > 127) break;
    value = value * 10 + (ch.unicode() - '0');
    if (value > 1000) break;  // the edit holds two characters; keep a pasted run from overflowing
  }
  return value;
}

std::optional<QString> CheckDeviceInfo(const QString& idText, const QString& name) {
  if (name.contains(QLatin1Char('('))) return QStringLiteral("error! Device name include'('");
  if (name.contains(QLatin1Char(')'))) return QStringLiteral("error! Device name include')'");
  if (idText.isEmpty()) return QStringLiteral("ID error!");
  if (name.isEmpty()) return QStringLiteral("Device Name error!");
  const int id = LeadingId(idText);
  if (id < 1 || id > 10) return QStringLiteral("ID error!");
  return std::nullopt;
}

DeviceInfoDialog::DeviceInfoDialog(bool identityShown, int deviceId, const QString& deviceName,
                                   QWidget* parent)
    : QDialog(parent), idEdit_(new QLineEdit(this)), nameEdit_(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Edit current device information"));
  setFixedSize(Dlu(186), Dlu(96));
  auto* group = new QGroupBox(QStringLiteral("Device information:"), this);
  group->setGeometry(DluRect(7, 6, 172, 60));
  // The frame is made after the edits it surrounds; below them it would take their clicks.
  group->lower();
  AddLabel(this, QStringLiteral("ID:"), DluRect(16, 22, 24, 10), idEdit_);
  idEdit_->setGeometry(DluRect(44, 20, 30, 12));
  idEdit_->setMaxLength(kIdLength);
  idEdit_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), idEdit_));
  AddLabel(this, QStringLiteral("range:  [ 1-10 ]"), DluRect(84, 22, 80, 10));
  AddLabel(this, QStringLiteral("Name:"), DluRect(16, 42, 24, 10), nameEdit_);
  nameEdit_->setGeometry(DluRect(44, 40, 120, 12));
  nameEdit_->setMaxLength(kNameLength);
  idEdit_->setText(identityShown ? QString::number(deviceId) : QStringLiteral("1"));
  nameEdit_->setText(identityShown ? deviceName.left(kNameLength) : QStringLiteral("NULL"));
  AddOkCancel(this, 68, 74);
}

QString DeviceInfoDialog::idText() const {
  return idEdit_->text().left(kIdLength);
}
QString DeviceInfoDialog::name() const {
  return nameEdit_->text().left(kNameLength);
}

void DeviceInfoDialog::accept() {
  if (const auto problem = CheckDeviceInfo(idText(), name())) {
    ShowError(this, *problem, QStringLiteral("Input error"));
    return;
  }
  QDialog::accept();
}

}  // namespace corvella::app
