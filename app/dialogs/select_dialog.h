// "Select": the units found by the search, the identity of the highlighted one, and the direction
// of the first transfer. "Connect" closes it with a choice; Esc and the close box cancel.
#pragma once

#include <QDialog>
#include <cstddef>
#include <vector>

#include "link/link_state.h"

class QListWidget;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace corvella::app {

class SelectDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 142;
  SelectDialog(const std::vector<link::FoundDevice>& devices, QWidget* parent);

  // 0: upload from the unit, 1: download to the unit.
  int transferDirection() const;
  // Position in the found list of the highlighted unit (valid after "Connect").
  std::size_t listIndex() const { return listIndex_; }

  QListWidget* list() const { return list_; }
  QLineEdit* idEdit() const { return idEdit_; }
  QLineEdit* nameEdit() const { return nameEdit_; }
  QRadioButton* uploadButton() const { return upload_; }
  QRadioButton* downloadButton() const { return download_; }
  QPushButton* connectButton() const { return connect_; }

  void accept() override;

 private:
  // The record whose index is row + 1, and its position in the list.
  const link::FoundDevice* DeviceAtRow(int row, std::size_t* position = nullptr) const;
  void ShowRow(int row);

  const std::vector<link::FoundDevice>& devices_;
  std::size_t listIndex_ = 0;
  QListWidget* list_;
  QLineEdit* idEdit_;
  QLineEdit* nameEdit_;
  QRadioButton* upload_;
  QRadioButton* download_;
  QPushButton* connect_;
};

}  // namespace corvella::app
