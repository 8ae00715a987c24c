// An edit for decimal numbers: digits, blanks and one '.', with a leading '.' turned into "0.".
#pragma once

#include "pages/page_edit.h"

namespace corvella::pages {

class DecimalEdit : public PageEdit {
  Q_OBJECT

 public:
  explicit DecimalEdit(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace corvella::pages
