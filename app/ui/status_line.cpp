#include "app/ui/status_line.h"

#include <QProgressBar>
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

StatusLineBar::StatusLineBar(QWidget* parent)
    : QWidget(parent), edit_(new StatusLineEdit(this)), progress_(new QProgressBar(this)) {
  resize(Dlu(464), Dlu(14));
  edit_->setGeometry(rect());
  progress_->setObjectName(QStringLiteral("statusProgress"));
  progress_->setGeometry(width() - Dlu(86), Dlu(2), Dlu(84), Dlu(10));
  progress_->setFormat(QStringLiteral("step %v of %m"));
  progress_->hide();
}

void StatusLineBar::ShowProgress(int step, int steps) {
  if (step <= 0) {
    progress_->hide();
    return;
  }
  progress_->setRange(0, steps);
  progress_->setValue(step);
  progress_->show();
}

}  // namespace corvella::shell
