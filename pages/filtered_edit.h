// Edits that refuse characters their value can never contain, and commit by giving the focus away.
#pragma once

#include <QLineEdit>
#include <cstdint>

namespace corvella::pages {

// Filter modes: which printable characters an edit lets through.
enum FilterMode : std::uint8_t {
  kFilterCrossover = 0,  // space . 0-9 F K O f k o (the mode at construction)
  kFilterFrequency = 1,  // space . 0-9 K k
  kFilterQ = 2,          // space . 0-9
  kFilterGain = 3,       // space - . 0-9
  kFilterDigits = 4,     // space . 0-9
  kFilterName = 5,       // everything but ( and ), which would break a frame
  kFilterDelay = 6,      // space - . 0-9
  kFilterRatio = 7,      // space . 0-9
  kFilterRelease = 8,    // space . 0-9
  kFilterAttack = 9,     // space . 0-9
};

// True when `ch`, typed into an edit in `mode`, must be discarded. Control characters are never
// rejected; an unknown mode rejects every printable character.
bool IsRejected(std::uint8_t mode, QChar ch);

class FilteredEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit FilteredEdit(QWidget* parent = nullptr);

  std::uint8_t filterMode = kFilterCrossover;

  // The most characters typing may produce; a longer text set by the program stays whole, and
  // typing into it is refused until enough of it is selected. 0 means no limit.
  void SetLimitText(int characters) { limitText_ = characters; }
  int LimitText() const { return limitText_; }

 signals:
  // The edit lost or gained the keyboard focus: the pages commit on the first and pick the filter
  // mode on the second.
  void focusLost();
  void focusGained();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int limitText_ = 0;
};

// Gives the focus to the widget two levels up (the main view, for an edit on a page), which commits
// the edit through its focus loss. Used by the edits on Enter and Escape.
void MoveFocusToGrandparent(QWidget* edit);

// True for a character that reaches the edit as text (not a control character).
bool IsPrintable(QChar ch);

// True when typing `typed` into `edit` would make its text longer than `limit` characters.
bool ExceedsLimit(const QLineEdit& edit, const QString& typed, int limit);

}  // namespace corvella::pages
