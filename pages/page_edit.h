// What the program's edits share: they commit when the focus leaves them, Enter and Escape give
// the focus away, and typing stops at a character limit.
#pragma once

#include <QLineEdit>

class QKeyEvent;

namespace corvella::pages {

class PageEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit PageEdit(QWidget* parent = nullptr);

  // The most characters typing may produce; a longer text set by the program stays whole, and
  // typing into it is refused until enough of it is selected. 0 means no limit.
  void SetLimitText(int characters) { limitText_ = characters; }
  int LimitText() const { return limitText_; }

 signals:
  // The edit lost or gained the keyboard focus: the pages commit on the first and pick the
  // filter mode on the second. A context menu borrowing the focus is neither.
  void focusLost();
  void focusGained();

 protected:
  // True when typing `typed` would make the text longer than the limit.
  bool ExceedsLimit(const QString& typed) const;
  static bool IsEnterOrEscape(const QKeyEvent* event);

  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int limitText_ = 0;
};

// True for a character that reaches the edit as text (not a control character).
bool IsPrintable(QChar ch);

// Gives the focus to the widget two levels up (the main view, for an edit on a page), which
// commits the edit through its focus loss. Used by the edits on Enter and Escape.
void MoveFocusToGrandparent(QWidget* edit);

}  // namespace corvella::pages
