#include "app/ui/status_line.h"

#include <QRegularExpressionValidator>

#include "app/ui/dialog_units.h"

namespace corvella::shell {

StatusLineEdit::StatusLineEdit(QWidget* parent) : QLineEdit(parent) {
  setObjectName(QStringLiteral("statusLine"));
  // Refuses "(" whether typed or pasted; the program's own texts are set, not typed.
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^(]*")), this));
  // Taken by a click only: when a page command hides the page holding the focus, the focus must
  // not fall through to the status text, where the operator's next keys would land.
  setFocusPolicy(Qt::ClickFocus);
}

StatusLineBar::StatusLineBar(QWidget* parent) : QWidget(parent), edit_(new StatusLineEdit(this)) {
  resize(Dlu(464), Dlu(14));
  edit_->setGeometry(rect());
}

}  // namespace corvella::shell
