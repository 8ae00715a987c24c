#include "app/ui/status_line.h"

#include <QKeyEvent>

#include "app/ui/dialog_units.h"

namespace corvella::shell {

StatusLineEdit::StatusLineEdit(QWidget* parent) : QLineEdit(parent) {
  setObjectName(QStringLiteral("statusLine"));
}

void StatusLineEdit::keyPressEvent(QKeyEvent* event) {
  if (event->text().contains(QLatin1Char('('))) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

StatusLineBar::StatusLineBar(QWidget* parent) : QWidget(parent), edit_(new StatusLineEdit(this)) {
  resize(Dlu(464), Dlu(14));
  edit_->setGeometry(rect());
}

}  // namespace corvella::shell
