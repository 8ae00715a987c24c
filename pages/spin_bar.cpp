#include "pages/spin_bar.h"

#include <QWheelEvent>

namespace corvella::pages {

SpinBar::SpinBar(int minimum, int maximum, int position, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent) {
  setRange(minimum, maximum);
  setPageStep(1);
  setSingleStep(1);
  setValue(position);
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

void SpinBar::wheelEvent(QWheelEvent* event) {
  event->ignore();
}

}  // namespace corvella::pages
