// The PC's program beside the unit's, parameter by parameter: what differs, and the two ways of
// making them equal. The view reads the unit and answers the dialog's requests.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "model/parameter_listing.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace corvella::app {

inline constexpr char kCompareEqualText[] = "The device holds the PC's program.";

class CompareDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CompareDialog(QWidget* parent = nullptr);

  // Each difference as the PC (a) and the unit (b) hold it.
  void SetDifferences(std::vector<ParameterDifference> differences);
  const std::vector<ParameterDifference>& differences() const { return differences_; }
  // Every differing parameter, for sending the PC's values.
  std::vector<ParameterRef> DifferingParameters() const;
  // While the link is busy neither button may start anything.
  void SetBusy(bool busy);

  QTableWidget* table() const { return table_; }
  QLabel* summary() const { return summary_; }
  QPushButton* sendButton() const { return send_; }
  QPushButton* takeButton() const { return take_; }
  QPushButton* closeButton() const { return close_; }

 signals:
  void sendRequested();
  void takeRequested();

 private:
  void UpdateButtons();

  std::vector<ParameterDifference> differences_;
  bool busy_ = false;
  QTableWidget* table_;
  QLabel* summary_;
  QPushButton* send_;
  QPushButton* take_;
  QPushButton* close_;
};

// "Verify After Download", kept between runs in the user's configuration folder (a test's folder
// under QStandardPaths' test mode).
bool LoadVerifyAfterDownload();
void SaveVerifyAfterDownload(bool on);
// "Fast Transfer", kept beside it.
bool LoadFastTransfer();
void SaveFastTransfer(bool on);
QString ToolsSettingsPath();

}  // namespace corvella::app
