// An edit for decimal numbers: digits, blanks and one '.', with a leading '.' turned into "0.".
#pragma once

#include <QLineEdit>

namespace corvella::pages {

class DecimalEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit DecimalEdit(QWidget* parent = nullptr);

  // Set by Enter or Escape in any decimal edit, cleared by any other key; the delay page reads and
  // clears it when an edit loses the focus, so only an Enter-committed text is taken.
  static bool EnterPressed() { return enterPressed_; }
  static void SetEnterPressed(bool pressed) { enterPressed_ = pressed; }

  // The most characters typing may produce; a longer text set by the program stays whole, and
  // typing into it is refused until enough of it is selected. 0 means no limit.
  void SetLimitText(int characters) { limitText_ = characters; }
  int LimitText() const { return limitText_; }

 signals:
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
  static inline bool enterPressed_ = false;
};

}  // namespace corvella::pages
