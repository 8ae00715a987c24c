#include "pages/decimal_edit.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace corvella::pages {
namespace {

bool IsDecimalRejected(QChar ch) {
  if (!IsPrintable(ch)) return false;
  return !((ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) || ch == QLatin1Char(' ') ||
           ch == QLatin1Char('.'));
}

}  // namespace

DecimalEdit::DecimalEdit(QWidget* parent) : PageEdit(parent) {}

void DecimalEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  if (typed.size() == 1 && IsPrintable(typed.front())) {
    const QChar ch = typed.front();
    const QString current = text();
    const qsizetype dot = current.indexOf(QLatin1Char('.'));
    if (dot >= 0 && ch == QLatin1Char('.') && !hasSelectedText()) {
      event->accept();
      return;
    }
    if (dot == 0 && ch.isDigit() && ch.unicode() < 128) {
      setText(QStringLiteral("0.") + ch);
      end(false);
      event->accept();
      return;
    }
    if (IsDecimalRejected(ch) || ExceedsLimit(typed)) {
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void DecimalEdit::keyReleaseEvent(QKeyEvent* event) {
  if (IsEnterOrEscape(event)) {
    MoveFocusToGrandparent(this);
    event->accept();
    return;
  }
  QLineEdit::keyReleaseEvent(event);
}

void DecimalEdit::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) {
    selectAll();
    setFocus(Qt::MouseFocusReason);
  }
}

}  // namespace corvella::pages
