#include "pages/filtered_edit.h"

#include <QFocusEvent>
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

bool IsPrintable(QChar ch) {
  return !ch.isNull() && ch.isPrint();
}

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

bool ExceedsLimit(const QLineEdit& edit, const QString& typed, int limit) {
  if (limit <= 0 || typed.isEmpty() || !IsPrintable(typed.front())) return false;
  return edit.text().size() - edit.selectedText().size() + typed.size() > limit;
}

void MoveFocusToGrandparent(QWidget* edit) {
  QWidget* page = edit->parentWidget();
  QWidget* target = page != nullptr ? page->parentWidget() : nullptr;
  if (target == nullptr) target = page;
  if (target != nullptr) target->setFocus(Qt::OtherFocusReason);
}

FilteredEdit::FilteredEdit(QWidget* parent) : QLineEdit(parent) {}

void FilteredEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  for (const QChar ch : text) {
    if (IsRejected(filterMode, ch)) {
      event->accept();
      return;
    }
  }
  if (ExceedsLimit(*this, text, limitText_)) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void FilteredEdit::keyReleaseEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
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

void FilteredEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  emit focusGained();
}

void FilteredEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A context menu borrows the focus without the operator leaving the edit.
  if (event->reason() != Qt::PopupFocusReason) emit focusLost();
}

}  // namespace corvella::pages
