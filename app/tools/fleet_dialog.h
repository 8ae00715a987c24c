// Tools > Units On All Ports...: every unit on every port of the port table, found and worked at
// once by the fleet (one worker thread per port) while the window stays responsive. A unit picked
// in the list can become the window's own link, as the Select dialog's "Connect" makes it.
#pragma once

#include <QDialog>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fleet/fleet.h"
#include "link/port.h"
#include "link/port_table.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace corvella::app {

class MainView;

inline constexpr char kFleetDialogTitle[] = "Units On All Ports";
// Connect reads the unit's program into the PC's set, over edits not yet saved.
inline constexpr char kUnsavedConnectText[] =
    "The program has unsaved changes.\nSave them before the unit's program replaces them ?";
// The folder dialog's title says what it asks for.
inline constexpr char kBackupFolderCaption[] = "Back Up All Units To Folder";

class FleetDialog : public QDialog {
  Q_OBJECT

 public:
  // `mainPort` is the window's own port over `ports`; the fleet opens the same devices itself,
  // so a job starts only once the window's port is closed.
  FleetDialog(MainView& view, link::Port& mainPort, link::PortTable ports,
              QWidget* parent = nullptr);
  ~FleetDialog() override;

  // Each starts a job on every port; false (with a box saying why) when the window holds a port
  // or a job runs already.
  bool StartScan();
  bool StartBackup(const QString& folder);
  bool StartSend(const QString& file, bool verify);
  // The selected unit becomes the window's link, its program uploaded; the dialog then closes.
  bool ConnectSelected();

  bool Busy() const { return worker_.joinable(); }
  QTableWidget* table() const { return table_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* statusLabel() const { return status_; }
  QPushButton* scanButton() const { return scan_; }
  QPushButton* connectButton() const { return connect_; }
  QPushButton* backupButton() const { return backup_; }
  QPushButton* sendButton() const { return send_; }

 signals:
  // A job ended and its results are in the table.
  void jobFinished();

 public slots:
  void reject() override;

 private:
  bool Start(fleet::Request request);
  bool FreeWindowPort();
  void OnProgress(const fleet::Progress& progress);
  void OnFinished(const fleet::Report& report);
  void ShowUnits();
  void UpdateButtons();
  int SelectedRow() const;
  void AskBackupFolder();
  void AskSendFile();

  MainView& view_;
  link::Port& mainPort_;
  link::PortTable ports_;
  fleet::Job job_ = fleet::Job::Scan;
  std::filesystem::path backupFolder_;  // of the backup that runs: its manifest goes there
  std::vector<fleet::UnitResult> units_;       // one row each, in table order
  std::vector<std::string> results_;           // the rows' result column
  std::map<std::string, double> portShare_;    // how far each port is, 0..1
  std::thread worker_;

  QTableWidget* table_;
  QProgressBar* progress_;
  QLabel* status_;
  QPushButton* scan_;
  QPushButton* connect_;
  QPushButton* backup_;
  QPushButton* send_;
  QPushButton* close_;
};

}  // namespace corvella::app
