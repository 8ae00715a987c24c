#include "pages/drawn_button.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "pages/hand_cursor.h"
#include "pages/page_accessibility.h"

namespace corvella::pages {
namespace {

QColor Mean(const QColor& a, const QColor& b) {
  return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

QColor Inverse(const QColor& c) {
  return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

// A 2 x 2 checkerboard of the window colour and its inverse: the look of a button held down.
QBrush Checkerboard(const QColor& window) {
  QImage tile(2, 2, QImage::Format_RGB32);
  tile.setPixelColor(0, 0, window);
  tile.setPixelColor(1, 1, window);
  tile.setPixelColor(1, 0, Inverse(window));
  tile.setPixelColor(0, 1, Inverse(window));
  return QBrush(tile);
}

}  // namespace

DrawnButton::DrawnButton(const QString& text, int id, int group, QWidget* parent)
    : QWidget(parent), text_(text), id_(id), group_(group) {
  setObjectName(QString::number(id));
  // Clicks take the focus in the press handler itself, so the focus rule below sees `pressed`.
  setFocusPolicy(Qt::TabFocus);
  setCursor(HandCursor());
  setAttribute(Qt::WA_OpaquePaintEvent);
  InstallPageAccessibility();
  RebuildColors();
}

void DrawnButton::SetCheck(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  update();
  QAccessible::State changed;
  changed.checked = true;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

void DrawnButton::SetPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  update();
}

QList<DrawnButton*> DrawnButton::GroupMembers() const {
  QList<DrawnButton*> members;
  if (parentWidget() == nullptr) return members;
  for (QObject* child : parentWidget()->children()) {
    auto* button = qobject_cast<DrawnButton*>(child);
    if (button != nullptr && button->group_ == group_) members.append(button);
  }
  return members;
}

void DrawnButton::UncheckOthers() {
  for (DrawnButton* other : GroupMembers()) {
    if (other != this) other->SetCheck(false);
  }
}

void DrawnButton::CheckAndSend() {
  SetCheck(true);
  UncheckOthers();
  emit commandSent(id_);
}

void DrawnButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  setFocus(Qt::MouseFocusReason);
  update();
}

void DrawnButton::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

void DrawnButton::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) == 0) return;
  SetPressed(rect().contains(event->position().toPoint()));
}

void DrawnButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (rect().contains(event->position().toPoint())) CheckAndSend();
  SetPressed(false);
}

void DrawnButton::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Space) {
    if (!event->isAutoRepeat()) SetPressed(true);
    return;
  }
  const bool previous = key == Qt::Key_Left || key == Qt::Key_Up;
  const bool next = key == Qt::Key_Right || key == Qt::Key_Down;
  if (!previous && !next) {
    QWidget::keyPressEvent(event);
    return;
  }
  QList<DrawnButton*> members;
  for (DrawnButton* b : GroupMembers()) {
    if (b == this || (b->isVisibleTo(parentWidget()) && b->isEnabled())) members.append(b);
  }
  const qsizetype here = members.indexOf(this);
  const qsizetype count = members.size();
  if (count < 2 || here < 0) return;
  DrawnButton* target = members[(here + (next ? 1 : count - 1)) % count];
  UncheckOthers();
  target->SetCheck(true);
  emit target->commandSent(target->id_);
  SetCheck(false);
  target->setFocus(Qt::TabFocusReason);
}

void DrawnButton::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && pressed_) {
    CheckAndSend();
    SetPressed(false);
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void DrawnButton::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (!checked_ && !pressed_) {
    for (DrawnButton* b : GroupMembers()) {
      if (b->checked_ && b != this) {
        b->setFocus(event->reason());
        return;
      }
    }
  }
  update();
}

void DrawnButton::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

bool DrawnButton::focusNextPrevChild(bool next) {
  // Without this, Tab would move to the next member, whose focus-in hands the focus straight back
  // to the checked one: the keyboard could never leave the group.
  QWidget* w = this;
  for (;;) {
    w = next ? w->nextInFocusChain() : w->previousInFocusChain();
    if (w == nullptr || w == this) break;
    const auto* member = qobject_cast<DrawnButton*>(w);
    if (member != nullptr && member->parentWidget() == parentWidget() && member->group_ == group_) {
      continue;
    }
    if (w->window() == window() && (w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisible() &&
        w->isEnabled() && w->focusProxy() == nullptr) {
      w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
  }
  return QWidget::focusNextPrevChild(next);
}

void DrawnButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) RebuildColors();
  QWidget::changeEvent(event);
}

void DrawnButton::RebuildColors() {
  const QPalette& p = palette();
  highlight_ = p.color(QPalette::Light);
  light3d_ = p.color(QPalette::Midlight);
  face_ = p.color(QPalette::Button);
  shadow_ = p.color(QPalette::Dark);
  darkShadow_ = p.color(QPalette::Shadow);
  window_ = p.color(QPalette::Base);
  text3d_ = p.color(QPalette::ButtonText);
  lightMid_ = Mean(face_, shadow_);
  darkMid_ = Mean(shadow_, darkShadow_);
  update();
}

void DrawnButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // The parent shows through the rounded corners.
  painter.fillRect(rect(), parentWidget() != nullptr
                               ? parentWidget()->palette().color(QPalette::Window)
                               : face_);
  QColor outline;
  if (!isEnabled()) {
    outline = darkMid_;
  } else if (!checked_ && !pressed_) {
    outline = Inverse(window_);
  } else {
    outline = window_;
  }
  QBrush fill = pressed_ ? Checkerboard(window_) : QBrush(checked_ ? QColor(255, 0, 0) : window_);
  painter.setPen(outline);
  painter.setBrush(fill);
  painter.drawRoundedRect(QRect(0, 0, width() - 1, height() - 1), 3, 3);

  QColor textColor = text3d_;
  if (pressed_ || checked_) {
    textColor = highlight_;
  } else if (!isEnabled()) {
    textColor = shadow_;
  }
  painter.setPen(textColor);
  painter.setBrush(Qt::NoBrush);
  painter.drawText(rect(), Qt::AlignCenter, text_);

  if (hasFocus()) {
    QPen focusPen(Inverse(checked_ ? QColor(255, 0, 0) : window_));
    focusPen.setStyle(Qt::DotLine);
    painter.setPen(focusPen);
    painter.drawRect(rect().adjusted(4, 4, -5, -5));
  }
}

}  // namespace corvella::pages
