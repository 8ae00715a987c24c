#include "pages/spin_bar.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>
#include <algorithm>

namespace corvella::pages {

SpinBar::SpinBar(int minimum, int maximum, int position, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent) {
  setRange(minimum, maximum);
  setPageStep(1);
  setSingleStep(1);
  setValue(position);
  InstallPageAccessibility();
  connect(this, &QAbstractSlider::actionTriggered, this, &SpinBar::OnAction);
  connect(this, &QAbstractSlider::sliderReleased, this,
          [this] { emit scrolled(Code::ThumbPosition); });
}

void SpinBar::OnAction(int action) {
  // The slider position is already moved and clamped; the value follows only after this returns,
  // so it is set here for the handlers to read.
  switch (action) {
    case SliderSingleStepSub:
      setValue(sliderPosition());
      emit scrolled(Code::LineUp);
      return;
    case SliderSingleStepAdd:
      setValue(sliderPosition());
      emit scrolled(Code::LineDown);
      return;
    case SliderMove:
      if (isSliderDown()) {
        setValue(sliderPosition());
        emit scrolled(Code::ThumbTrack);
        return;
      }
      break;
    default:
      break;
  }
  // Page steps, top and bottom: the pages ignore them, so the bar stays where it was.
  setSliderPosition(value());
}

void SpinBar::AddBuddy(QWidget* edit) {
  edit->installEventFilter(this);
  if (buddy_ == nullptr) buddy_ = edit;
}

void SpinBar::MoveAsOperator(int position) {
  const int clamped = std::clamp(position, minimum(), maximum());
  if (clamped == value()) return;
  setValue(clamped);
  emit scrolled(Code::ThumbPosition);
}

QString SpinBar::ValueText() const {
  const auto* edit = qobject_cast<const QLineEdit*>(buddy_.data());
  return edit != nullptr ? edit->text() : QString();
}

bool SpinBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && isEnabled()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
    if (held == Qt::NoModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
      triggerAction(key->key() == Qt::Key_Up ? SliderSingleStepSub : SliderSingleStepAdd);
      return true;
    }
  } else if (event->type() == QEvent::Wheel) {
    Wheel(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QScrollBar::eventFilter(watched, event);
}

void SpinBar::wheelEvent(QWheelEvent* event) {
  Wheel(event);
}

void SpinBar::Wheel(QWheelEvent* event) {
  event->accept();
  if (!isEnabled()) return;
  constexpr int kNotch = 120;
  wheelRest_ += event->angleDelta().y();
  while (wheelRest_ >= kNotch) {
    wheelRest_ -= kNotch;
    triggerAction(SliderSingleStepSub);
  }
  while (wheelRest_ <= -kNotch) {
    wheelRest_ += kNotch;
    triggerAction(SliderSingleStepAdd);
  }
}

}  // namespace corvella::pages
