#include "app/window/status_line.h"

#include <QRegularExpressionValidator>

#include "app/dialogs/dialog_units.h"
#include "app/window/step_bar.h"

namespace corvella::app {

StatusLineEdit::StatusLineEdit(QWidget* parent) : QLineEdit(parent) {
  setObjectName(QStringLiteral("statusLine"));
  setAccessibleName(QStringLiteral("Status"));
  // Refuses "(" whether typed or pasted; the program's own texts are set, not typed.
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^(]*")), this));
  // Taken by a click only: when a page command hides the page holding the focus, the focus must
  // not fall through to the status text, where the operator's next keys would land.
  setFocusPolicy(Qt::ClickFocus);
  normal_ = palette();
}

void StatusLineEdit::SetText(const QString& text, bool warning) {
  if (warning != warning_) {
    warning_ = warning;
    QPalette shown = normal_;
    if (warning) shown.setColor(QPalette::Text, Qt::red);
    setPalette(shown);
  }
  setText(text);
}

StatusLineBar::StatusLineBar(QWidget* parent) : QWidget(parent), edit_(new StatusLineEdit(this)) {
  resize(Dlu(464), Dlu(14));
  edit_->setGeometry(rect());
  progress_ = MakeStepBar(this, QStringLiteral("statusProgress"),
                          QRect(width() - Dlu(86), Dlu(2), Dlu(84), Dlu(10)));
}

void StatusLineBar::ShowProgress(int step, int steps) {
  ShowStep(*progress_, step, steps);
}

}  // namespace corvella::app
