// Tools > Protocol Journal: the link's frames as they go and come, each with its time since the
// first, its direction, the raw frame, what it means and how long its answer took; a filter for
// writes, reads and errors; Save writes the journal's text, the same as --log writes.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "link/journal_decoder.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace corvella::link {
class Journal;
}

namespace corvella::app {

// How often the window takes the lines written since its last look, while it shows.
inline constexpr int kJournalFollowMs = 200;

class JournalWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Filter { All, Writes, Reads, Errors };
  // Asks for the file Save writes; empty when cancelled.
  using FileChooser = std::function<QString()>;

  JournalWindow(const link::Journal& journal, QWidget* parent);

  QTableWidget* Table() const { return table_; }
  QComboBox* FilterChoice() const { return filter_; }
  QPushButton* SaveButton() const { return save_; }
  void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

  // Takes the lines written since the last look into the table.
  void Follow();
  void SetFilter(Filter filter);
  // The journal's text as --log writes it, whole or not at all; false (a box says why) on failure.
  bool Save(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Shown(int row) const;

  const link::Journal& journal_;
  link::JournalReader reader_;
  std::uint64_t next_ = 0;
  QTableWidget* table_;
  QComboBox* filter_;
  QPushButton* save_;
  QTimer follow_;
  FileChooser chooser_;
};

}  // namespace corvella::app
