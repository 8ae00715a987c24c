#include "pages/editor_page.h"

#include <QPalette>

namespace corvella::pages {

EditorPage::EditorPage(int templateId, QWidget* parent)
    : QWidget(parent), templateId_(templateId) {
  setObjectName(QStringLiteral("page%1").arg(templateId));
  resize(kPageWidth, kPageHeight);
  // Until a page picks its own colour it wears the system's button face, like any dialog.
  SetBackgroundColor(palette().color(QPalette::Button));
}

void EditorPage::SetBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
  setAutoFillBackground(true);
}

}  // namespace corvella::pages

namespace corvella::pages {

void EditorPage::TakeFocus() {
  QWidget* last = focusWidget();
  if (last != nullptr && last != this && isAncestorOf(last) && last->isVisible() &&
      last->isEnabled()) {
    last->setFocus(Qt::OtherFocusReason);
    return;
  }
  for (QWidget* w = nextInFocusChain(); w != nullptr && w != this && isAncestorOf(w);
       w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisible() && w->isEnabled()) {
      w->setFocus(Qt::TabFocusReason);
      return;
    }
  }
  setFocus(Qt::OtherFocusReason);
}

}  // namespace corvella::pages
