// An edit for decimal numbers: digits, blanks and one '.', with a leading '.' turned into "0.".
#pragma once

#include "pages/page_edit.h"

namespace corvella::pages {

class DecimalEdit : public PageEdit {
  Q_OBJECT

 public:
  explicit DecimalEdit(QWidget* parent = nullptr);

  // Set by Enter or Escape in any decimal edit, cleared by any other key; the delay page reads and
  // clears it when an edit loses the focus, so only an Enter-committed text is taken.
  static bool EnterPressed() { return enterPressed_; }
  static void SetEnterPressed(bool pressed) { enterPressed_ = pressed; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  static inline bool enterPressed_ = false;
};

}  // namespace corvella::pages
