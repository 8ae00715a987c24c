#include "pages/filtered_edit.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace corvella::pages {
namespace {

bool IsAsciiDigit(QChar ch) {
  return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

bool IsOneOf(QChar ch, const char* allowed) {
  for (const char* p = allowed; *p != '\0'; ++p) {
    if (ch == QLatin1Char(*p)) return true;
  }
  return false;
}

}  // namespace

bool IsRejected(std::uint8_t mode, QChar ch) {
  if (!IsPrintable(ch)) return false;
  switch (mode) {
    case kFilterCrossover:
      return !(IsAsciiDigit(ch) || IsOneOf(ch, " .FKOfko"));
    case kFilterFrequency:
      return !(IsAsciiDigit(ch) || IsOneOf(ch, " .Kk"));
    case kFilterGain:
    case kFilterDelay:
      return !(IsAsciiDigit(ch) || IsOneOf(ch, " -."));
    case kFilterQ:
    case kFilterDigits:
    case kFilterRatio:
    case kFilterRelease:
    case kFilterAttack:
      return !(IsAsciiDigit(ch) || IsOneOf(ch, " ."));
    case kFilterName:
      return ch == QLatin1Char('(') || ch == QLatin1Char(')');
    default:
      return true;
  }
}

FilteredEdit::FilteredEdit(QWidget* parent) : PageEdit(parent) {}

void FilteredEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  for (const QChar ch : text) {
    if (IsRejected(filterMode, ch)) {
      event->accept();
      return;
    }
  }
  if (ExceedsLimit(text)) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void FilteredEdit::keyReleaseEvent(QKeyEvent* event) {
  if (IsEnterOrEscape(event)) {
    MoveFocusToGrandparent(this);
    event->accept();
    return;
  }
  QLineEdit::keyReleaseEvent(event);
}

void FilteredEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) setFocus(Qt::MouseFocusReason);
  QLineEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
    selectAll();
  }
}

}  // namespace corvella::pages
