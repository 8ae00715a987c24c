// The Program and Device menu dialogs: rename the program (144), list and recall the six memories
// (145), store the settings as a memory (146), change the unit's ID and name (147). They collect
// and check the operator's input; the view builds and sends the frames.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvella::pages {
class FilteredEdit;
}

namespace corvella::app {

class ProgramNameDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 144;
  static constexpr int kMaxLength = 25;
  ProgramNameDialog(const QString& currentName, QWidget* parent);
  QString name() const;
  pages::FilteredEdit* edit() const { return edit_; }

 private:
  pages::FilteredEdit* edit_;
};

class ListProgramDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 145;
  static constexpr int kMemories = 6;
  explicit ListProgramDialog(QWidget* parent);

  // Back to the opening state: the six bare labels, every "Recall" disabled, clicks held back.
  void Reset();
  // Line n (1..6) as the engine fills it, with its "Recall" button enabled.
  void SetLine(int memory, const QString& text, bool recallEnabled);
  QString line(int memory) const;
  QPushButton* recallButton(int memory) const;
  // While held, the dialog takes every click itself, so nothing is recalled before all six names
  // have been read.
  void SetMouseHeld(bool held) { mouseHeld_ = held; }
  bool mouseHeld() const { return mouseHeld_; }
  // The memory whose "Recall" closed the dialog, or 0.
  int recalled() const { return recalled_; }

 signals:
  void recallRequested(int memory);

 private:
  std::array<QLabel*, kMemories> labels_{};
  std::array<QPushButton*, kMemories> recall_{};
  bool mouseHeld_ = false;
  int recalled_ = 0;
};

class ProgramSaveAsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 146;
  ProgramSaveAsDialog(int programNumber, QWidget* parent);
  // The memory number 1..6 chosen, or 0 with nothing selected.
  int memory() const;
  QComboBox* list() const { return list_; }

 private:
  QComboBox* list_;
};

// The first failing check of the device-information input, in the order the operator meets them,
// or nothing when the input is good.
std::optional<QString> CheckDeviceInfo(const QString& idText, const QString& name);
// The ID text's leading decimal number (0 without one).
int LeadingId(const QString& idText);

class DeviceInfoDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 147;
  static constexpr int kIdLength = 2;
  static constexpr int kNameLength = 14;
  DeviceInfoDialog(bool identityShown, int deviceId, const QString& deviceName, QWidget* parent);

  int id() const { return LeadingId(idText()); }
  QString idText() const;
  QString name() const;
  QLineEdit* idEdit() const { return idEdit_; }
  QLineEdit* nameEdit() const { return nameEdit_; }

  void accept() override;

 private:
  QLineEdit* idEdit_;
  QLineEdit* nameEdit_;
};

}  // namespace corvella::app
