#include "app/tools/fleet_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>
#include <set>

#include "app/dialogs/prompts.h"
#include "app/tools/tuning_history.h"
#include "app/window/main_view.h"
#include "fleet/manifest.h"
#include "link/protocol_engine.h"
#include "model/parameters_file.h"

namespace corvella::app {
namespace {

QString Text(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A name field without its "." padding.
QString Name(std::string text) {
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return Text(text);
}

enum Column { kPort, kId, kDevice, kKind, kNumber, kProgram, kResult, kColumns };

QString Caption() { return QString::fromLatin1(kFleetDialogTitle); }

}  // namespace

FleetDialog::FleetDialog(MainView& view, link::Port& mainPort, link::PortTable ports,
                         QWidget* parent)
    : QDialog(parent),
      view_(view),
      mainPort_(mainPort),
      ports_(std::move(ports)),
      table_(new QTableWidget(0, kColumns, this)),
      progress_(new QProgressBar(this)),
      status_(new QLabel(this)),
      scan_(new QPushButton(QStringLiteral("Scan"), this)),
      connect_(new QPushButton(QStringLiteral("Connect"), this)),
      backup_(new QPushButton(QStringLiteral("Back Up All To Folder..."), this)),
      send_(new QPushButton(QStringLiteral("Send File To Selected..."), this)),
      close_(new QPushButton(QStringLiteral("Close"), this)) {
  setObjectName(QStringLiteral("fleetDialog"));
  setWindowTitle(Caption());
  setSizeGripEnabled(true);

  table_->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("ID"),
                                     QStringLiteral("Device"), QStringLiteral("Kind"),
                                     QStringLiteral("Program No."),
                                     QStringLiteral("Program Name"), QStringLiteral("Result")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setAccessibleName(QStringLiteral("Units"));
  progress_->setAccessibleName(QStringLiteral("Progress"));
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  status_->setWordWrap(true);
  status_->setText(QStringLiteral("%1 port(s). Scan finds the units on all of them at once.")
                       .arg(ports_.Size()));

  for (QPushButton* button : {scan_, connect_, backup_, send_}) button->setAutoDefault(false);
  close_->setDefault(true);
  auto* buttons = new QDialogButtonBox(this);
  for (QPushButton* button : {scan_, connect_, backup_, send_})
    buttons->addButton(button, QDialogButtonBox::ActionRole);
  buttons->addButton(close_, QDialogButtonBox::RejectRole);
  connect(scan_, &QPushButton::clicked, this, [this] { (void)StartScan(); });
  connect(connect_, &QPushButton::clicked, this, [this] { (void)ConnectSelected(); });
  connect(backup_, &QPushButton::clicked, this, &FleetDialog::AskBackupFolder);
  connect(send_, &QPushButton::clicked, this, &FleetDialog::AskSendFile);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &FleetDialog::UpdateButtons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(820, 420);
  UpdateButtons();
}

FleetDialog::~FleetDialog() {
  // The ports' results are posted to this dialog; it must outlive the job.
  if (worker_.joinable()) worker_.join();
}

void FleetDialog::reject() {
  // Every port is in the middle of an exchange; the job ends by itself within a unit's transfer.
  if (Busy()) return;
  QDialog::reject();
}

bool FleetDialog::FreeWindowPort() {
  if (view_.session().link.linkConnected != 0 || view_.engine().ChainRunning()) {
    ShowStop(this,
             QStringLiteral("The window is connected to a unit. Disable Communications first: "
                            "the fleet opens every port itself."),
             Caption());
    return false;
  }
  // A search that ended without a connect leaves its last port open; nothing uses it now.
  if (mainPort_.IsOpen()) mainPort_.Close();
  return true;
}

bool FleetDialog::Start(fleet::Request request) {
  if (Busy() || !FreeWindowPort()) return false;
  job_ = request.job;
  // Tools > Fast Transfer holds for every unit the window talks to.
  request.fast = view_.fastTransfer();
  portShare_.clear();
  for (const std::string& port : fleet::PortsToWork(ports_, request)) portShare_[port] = 0;
  progress_->setValue(0);
  status_->setText(QStringLiteral("Working..."));
  worker_ = std::thread([this, request = std::move(request), ports = ports_] {
    fleet::Report report = fleet::Run(ports, request, [this](const fleet::Progress& p) {
      QMetaObject::invokeMethod(this, [this, p] { OnProgress(p); }, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(
        this, [this, report = std::move(report)] { OnFinished(report); }, Qt::QueuedConnection);
  });
  UpdateButtons();
  return true;
}

bool FleetDialog::StartScan() {
  fleet::Request request;
  request.job = fleet::Job::Scan;
  return Start(std::move(request));
}

bool FleetDialog::StartBackup(const QString& folder) {
  fleet::Request request;
  request.job = fleet::Job::Backup;
  request.folder = folder.toStdString();
  backupFolder_ = request.folder;
  return Start(std::move(request));
}

bool FleetDialog::StartSend(const QString& file, bool verify) {
  fleet::Request request;
  request.job = fleet::Job::Download;
  request.file = file.toStdString();
  request.verify = verify;
  std::set<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows.insert(index.row());
  for (const int row : rows) {
    const fleet::UnitResult& unit = units_[static_cast<std::size_t>(row)];
    request.units.push_back({unit.port, unit.id});
  }
  if (request.units.empty()) return false;
  ProgramParameters check{};
  const FileResult loaded = LoadParametersFile(request.file, check);
  if (!loaded.ok) {
    ShowStop(this,
             loaded.failure == FileFailure::WrongLength
                 ? QString::fromLatin1(kFileInvalidText.data(),
                                       static_cast<qsizetype>(kFileInvalidText.size()))
                 : Text(loaded.systemText),
             Caption());
    return false;
  }
  return Start(std::move(request));
}

bool FleetDialog::ConnectSelected() {
  const int row = SelectedRow();
  if (row < 0 || Busy() || !FreeWindowPort()) return false;
  // The unit's program replaces the PC's set: edits not saved are asked about, as on exit.
  if (view_.history().Modified()) {
    const QMessageBox::StandardButton answer =
        ShowMessage(this, {QString::fromLatin1(kUnsavedConnectText), Caption(),
                           QMessageBox::Question,
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                           QMessageBox::Yes});
    if (answer == QMessageBox::Cancel || answer == QMessageBox::NoButton) return false;
    if (answer == QMessageBox::Yes) {
      view_.SaveParametersFile();
      if (view_.history().Modified()) return false;  // cancelled, or the save failed and said so
    }
  }
  const fleet::UnitResult& unit = units_[static_cast<std::size_t>(row)];
  const auto& paths = ports_.Paths();
  const auto at = std::find(paths.begin(), paths.end(), unit.port);
  if (at == paths.end()) return false;
  link::FoundDevice device;
  device.index = 1;
  device.port = static_cast<int>(at - paths.begin()) + 1;
  device.id = unit.id;
  device.kind = unit.kind;
  device.name = unit.deviceName;
  if (!view_.engine().ConnectTo(device, 0)) return false;
  accept();
  return true;
}

void FleetDialog::OnProgress(const fleet::Progress& p) {
  double share = 0;
  if (p.phase == fleet::Phase::Done) {
    share = 1;
  } else if (p.unitCount > 0 && p.unitIndex > 0) {
    const double within = p.steps > 0 ? static_cast<double>(p.step) / p.steps : 0;
    share = (p.unitIndex - 1 + within) / p.unitCount;
  }
  portShare_[p.port] = share;
  double sum = 0;
  for (const auto& [port, part] : portShare_) sum += part;
  if (!portShare_.empty()) {
    progress_->setValue(static_cast<int>(1000 * sum / static_cast<double>(portShare_.size())));
  }
  QString line = Text(p.portName);
  if (p.id != 0) line += QStringLiteral(" ID %1").arg(p.id);
  if (p.step > 0) line += QStringLiteral(": step %1 of %2").arg(p.step).arg(p.steps);
  status_->setText(line);
}

void FleetDialog::OnFinished(const fleet::Report& report) {
  if (worker_.joinable()) worker_.join();
  if (job_ == fleet::Job::Scan) {
    units_.clear();
    results_.clear();
  }
  for (const fleet::UnitResult& unit : report.Units()) {
    std::string result;
    if (!unit.ok) {
      result = "failed: " + unit.detail;
    } else if (job_ == fleet::Job::Scan) {
      result = "found";
    } else if (job_ == fleet::Job::Backup) {
      result = "saved " + unit.file.filename().string();
    } else {
      result = unit.differences ? "sent and verified" : "sent";
    }
    const auto same = std::find_if(units_.begin(), units_.end(), [&](const fleet::UnitResult& u) {
      return u.port == unit.port && u.id == unit.id;
    });
    if (same == units_.end()) {
      units_.push_back(unit);
      results_.push_back(result);
    } else {
      const auto row = static_cast<std::size_t>(same - units_.begin());
      // A failed step knows less than the scan did; keep what the scan found.
      if (unit.ok || units_[row].deviceName.empty()) units_[row] = unit;
      results_[row] = result;
    }
  }
  progress_->setValue(1000);
  QStringList notes;
  if (job_ == fleet::Job::Backup) {
    std::string error;
    if (!fleet::WriteManifest(report, backupFolder_, error)) notes << Text(error);
  }
  for (const std::string& problem : report.problems) notes << Text(problem);
  for (const fleet::PortResult& port : report.ports) {
    if (!port.ok) notes << Text(port.portName + ": " + port.detail);
  }
  const std::vector<fleet::UnitResult> all = report.Units();
  const auto failed =
      std::count_if(all.begin(), all.end(), [](const fleet::UnitResult& u) { return !u.ok; });
  notes.prepend(QStringLiteral("%1 unit(s), %2 failed, %3 s.")
                    .arg(all.size())
                    .arg(failed)
                    .arg(static_cast<double>(report.elapsed.count()) / 1000.0, 0, 'f', 1));
  status_->setText(notes.join(QStringLiteral("  ")));
  ShowUnits();
  UpdateButtons();
  emit jobFinished();
}

void FleetDialog::ShowUnits() {
  table_->setRowCount(static_cast<int>(units_.size()));
  for (std::size_t i = 0; i < units_.size(); ++i) {
    const fleet::UnitResult& u = units_[i];
    const QString cells[kColumns] = {
        Text(u.portName),
        QString::number(u.id),
        Name(u.deviceName),
        QString::number(u.kind),
        u.programNumber ? QString::number(*u.programNumber) : QStringLiteral("-"),
        u.programNumber ? Name(u.programName) : QStringLiteral("-"),
        Text(results_[i])};
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (column == kPort) item->setToolTip(Text(u.port));
      table_->setItem(static_cast<int>(i), column, item);
    }
  }
  table_->resizeColumnsToContents();
}

int FleetDialog::SelectedRow() const {
  const auto rows = table_->selectionModel()->selectedRows();
  if (rows.size() != 1) return -1;
  const int row = rows.front().row();
  return row >= 0 && row < static_cast<int>(units_.size()) ? row : -1;
}

void FleetDialog::UpdateButtons() {
  const bool idle = !Busy();
  const auto selected = table_->selectionModel()->selectedRows().size();
  scan_->setEnabled(idle);
  backup_->setEnabled(idle);
  connect_->setEnabled(idle && selected == 1);
  send_->setEnabled(idle && selected > 0);
  close_->setEnabled(idle);
}

void FleetDialog::AskBackupFolder() {
  const QString folder = AskFolder(this, QString::fromLatin1(kBackupFolderCaption));
  if (!folder.isEmpty()) (void)StartBackup(folder);
}

void FleetDialog::AskSendFile() {
  const QString file = AskParametersFileName(this, false);
  if (file.isEmpty()) return;
  const auto units = table_->selectionModel()->selectedRows().size();
  if (!AskYesNo(this,
                QStringLiteral("Send %1 to the %2 selected unit(s)? Their programs are "
                               "replaced.")
                    .arg(QFileInfo(file).fileName())
                    .arg(units),
                Caption())) {
    return;
  }
  (void)StartSend(file, true);
}

}  // namespace corvella::app
