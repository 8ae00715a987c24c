#include "app/dialogs/select_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "app/dialogs/dialog_units.h"

namespace corvella::app {

SelectDialog::SelectDialog(const std::vector<link::FoundDevice>& devices, QWidget* parent)
    : QDialog(parent),
      devices_(devices),
      list_(new QListWidget(this)),
      idEdit_(new QLineEdit(this)),
      nameEdit_(new QLineEdit(this)),
      upload_(new QRadioButton(QStringLiteral("Upload Program Data From  Device"), this)),
      download_(new QRadioButton(QStringLiteral("Download Program Data To  Device"), this)),
      connect_(new QPushButton(QStringLiteral("Connect"), this)) {
  setWindowTitle(QStringLiteral("Select"));
  setFixedSize(Dlu(276), Dlu(150));

  auto* listCaption = new QLabel(QStringLiteral("Select Device:"), this);
  listCaption->setGeometry(DluRect(8, 6, 100, 10));
  list_->setGeometry(DluRect(8, 18, 110, 100));

  auto* identity = new QGroupBox(QStringLiteral(" Current Device Information:"), this);
  identity->setGeometry(DluRect(126, 6, 142, 52));
  auto* idCaption = new QLabel(QStringLiteral("ID:"), this);
  idCaption->setGeometry(DluRect(134, 22, 26, 10));
  idEdit_->setGeometry(DluRect(162, 20, 98, 12));
  auto* nameCaption = new QLabel(QStringLiteral("Name:"), this);
  nameCaption->setGeometry(DluRect(134, 38, 26, 10));
  nameEdit_->setGeometry(DluRect(162, 36, 98, 12));
  idEdit_->setReadOnly(true);
  nameEdit_->setReadOnly(true);
  // A screen reader names each control after the caption beside it.
  listCaption->setBuddy(list_);
  list_->setAccessibleName(QStringLiteral("Select Device"));
  idCaption->setBuddy(idEdit_);
  nameCaption->setBuddy(nameEdit_);

  auto* direction = new QGroupBox(QStringLiteral("Data Configuration:"), this);
  direction->setGeometry(DluRect(126, 62, 142, 56));
  upload_->setGeometry(DluRect(132, 78, 134, 12));
  download_->setGeometry(DluRect(132, 96, 134, 12));
  auto* group = new QButtonGroup(this);
  group->addButton(upload_, 0);
  group->addButton(download_, 1);
  upload_->setChecked(true);
  for (QWidget* w : {static_cast<QWidget*>(idCaption), static_cast<QWidget*>(nameCaption),
                     static_cast<QWidget*>(idEdit_), static_cast<QWidget*>(nameEdit_),
                     static_cast<QWidget*>(upload_), static_cast<QWidget*>(download_)}) {
    w->raise();
  }

  connect_->setGeometry(DluRect(108, 126, 60, 16));
  connect_->setDefault(true);
  connect(connect_, &QPushButton::clicked, this, &QDialog::accept);

  for (const link::FoundDevice& device : devices_) {
    list_->addItem(QStringLiteral("Device ID........... %1").arg(device.id));
  }
  connect(list_, &QListWidget::currentRowChanged, this, &SelectDialog::ShowRow);
  if (list_->count() > 0) list_->setCurrentRow(0);
}

const link::FoundDevice* SelectDialog::DeviceAtRow(int row, std::size_t* position) const {
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].index != row + 1) continue;
    if (position != nullptr) *position = i;
    return &devices_[i];
  }
  return nullptr;
}

void SelectDialog::ShowRow(int row) {
  const link::FoundDevice* device = DeviceAtRow(row);
  if (device == nullptr) return;
  idEdit_->setText(QString::number(device->id));
  // The unit's bytes, read as the header and the identity dialog read them.
  nameEdit_->setText(
      QString::fromLatin1(device->name.data(), static_cast<qsizetype>(device->name.size())));
}

int SelectDialog::transferDirection() const {
  return download_->isChecked() ? 1 : 0;
}

void SelectDialog::accept() {
  std::size_t position = 0;
  if (DeviceAtRow(list_->currentRow(), &position) == nullptr) return;  // nothing to connect to
  listIndex_ = position;
  QDialog::accept();
}

}  // namespace corvella::app
