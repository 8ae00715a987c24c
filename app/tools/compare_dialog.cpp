#include "app/tools/compare_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

namespace corvella::app {
namespace {

constexpr char kVerifyKey[] = "Tools/verifyAfterDownload";
constexpr char kFastTransferKey[] = "Tools/fastTransfer";

QString Text(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// "12 40.0Hz"; the program name is text without a code.
QString ValueText(const ParameterRow& row) {
  if (row.isText) return Text(row.text);
  return QStringLiteral("%1 %2").arg(row.code).arg(Text(row.text));
}

}  // namespace

CompareDialog::CompareDialog(QWidget* parent)
    : QDialog(parent),
      table_(new QTableWidget(0, 4, this)),
      summary_(new QLabel(this)),
      send_(new QPushButton(QStringLiteral("Send PC Values To Device"), this)),
      take_(new QPushButton(QStringLiteral("Take Device Values"), this)),
      close_(new QPushButton(QStringLiteral("Close"), this)) {
  setObjectName(QStringLiteral("compareDialog"));
  setWindowTitle(QStringLiteral("Compare With Device"));
  setSizeGripEnabled(true);
  // The pages stay as the table shows them while it is open.
  setWindowModality(Qt::WindowModal);

  table_->setHorizontalHeaderLabels({QStringLiteral("Section"), QStringLiteral("Parameter"),
                                     QStringLiteral("PC"), QStringLiteral("Device")});
  table_->setAccessibleName(QStringLiteral("Differences"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  summary_->setWordWrap(true);

  // Enter must not write to the unit or replace the PC's program.
  send_->setAutoDefault(false);
  take_->setAutoDefault(false);
  close_->setDefault(true);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(send_, QDialogButtonBox::ActionRole);
  buttons->addButton(take_, QDialogButtonBox::ActionRole);
  buttons->addButton(close_, QDialogButtonBox::RejectRole);
  connect(send_, &QPushButton::clicked, this, &CompareDialog::sendRequested);
  connect(take_, &QPushButton::clicked, this, &CompareDialog::takeRequested);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  layout->addWidget(buttons);
  resize(720, 420);
  SetDifferences({});
}

void CompareDialog::SetDifferences(std::vector<ParameterDifference> differences) {
  differences_ = std::move(differences);
  table_->setRowCount(static_cast<int>(differences_.size()));
  int row = 0;
  for (const ParameterDifference& d : differences_) {
    const QString cells[] = {Text(d.a.section), Text(d.a.parameter), ValueText(d.a),
                             ValueText(d.b)};
    for (int column = 0; column < 4; ++column) {
      table_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    ++row;
  }
  table_->resizeColumnsToContents();
  const auto count = static_cast<int>(differences_.size());
  if (count == 0) {
    summary_->setText(QString::fromLatin1(kCompareEqualText));
  } else if (count == 1) {
    summary_->setText(QStringLiteral("1 parameter differs from the device."));
  } else {
    summary_->setText(QStringLiteral("%1 parameters differ from the device.").arg(count));
  }
  table_->setVisible(count != 0);
  UpdateButtons();
}

std::vector<ParameterRef> CompareDialog::DifferingParameters() const {
  std::vector<ParameterRef> refs;
  refs.reserve(differences_.size());
  for (const ParameterDifference& d : differences_) refs.push_back(d.a.ref);
  return refs;
}

void CompareDialog::SetBusy(bool busy) {
  busy_ = busy;
  UpdateButtons();
}

void CompareDialog::UpdateButtons() {
  const bool act = !busy_ && !differences_.empty();
  send_->setEnabled(act);
  take_->setEnabled(act);
}

QString ToolsSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/corvella/corvella.conf");
}

namespace {

bool LoadToolsFlag(const char* key) {
  const QSettings settings(ToolsSettingsPath(), QSettings::IniFormat);
  return settings.value(QString::fromLatin1(key), false).toBool();
}

void SaveToolsFlag(const char* key, bool on) {
  QSettings settings(ToolsSettingsPath(), QSettings::IniFormat);
  settings.setValue(QString::fromLatin1(key), on);
  settings.sync();
}

}  // namespace

bool LoadVerifyAfterDownload() {
  return LoadToolsFlag(kVerifyKey);
}

void SaveVerifyAfterDownload(bool on) {
  SaveToolsFlag(kVerifyKey, on);
}

bool LoadFastTransfer() {
  return LoadToolsFlag(kFastTransferKey);
}

void SaveFastTransfer(bool on) {
  SaveToolsFlag(kFastTransferKey, on);
}

}  // namespace corvella::app
