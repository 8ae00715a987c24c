#include "pages/page_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace corvella::pages {

bool IsPrintable(QChar ch) {
  return !ch.isNull() && ch.isPrint();
}

void MoveFocusToGrandparent(QWidget* edit) {
  QWidget* page = edit->parentWidget();
  QWidget* target = page != nullptr ? page->parentWidget() : nullptr;
  if (target == nullptr) target = page;
  if (target != nullptr) target->setFocus(Qt::OtherFocusReason);
}

PageEdit::PageEdit(QWidget* parent) : QLineEdit(parent) {}

bool PageEdit::ExceedsLimit(const QString& typed) const {
  if (limitText_ <= 0 || typed.isEmpty() || !IsPrintable(typed.front())) return false;
  return text().size() - selectedText().size() + typed.size() > limitText_;
}

bool PageEdit::IsEnterOrEscape(const QKeyEvent* event) {
  const int key = event->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

void PageEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (event->reason() != Qt::PopupFocusReason) emit focusGained();
}

void PageEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) emit focusLost();
}

}  // namespace corvella::pages
