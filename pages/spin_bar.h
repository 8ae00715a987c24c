// A vertical scroll bar used as a spinner beside an edit. It reports the scroll actions the pages
// act on and undoes the moves they ignore, so the thumb never stands where the value does not.
#pragma once

#include <QScrollBar>

namespace corvella::pages {

class SpinBar : public QScrollBar {
  Q_OBJECT

 public:
  enum class Code {
    LineUp,         // position - 1 (an arrow, or the Up key)
    LineDown,       // position + 1
    ThumbTrack,     // the thumb is being dragged
    ThumbPosition,  // the thumb was released
  };

  // Range minimum..maximum, page size 1, at `position`.
  SpinBar(int minimum, int maximum, int position, QWidget* parent);

 signals:
  // The bar's position already holds the new value (clamped to the range) when this arrives.
  void scrolled(corvella::pages::SpinBar::Code code);

 protected:
  // The wheel over a spinner does nothing; it must not move the value behind the page's back.
  void wheelEvent(QWheelEvent* event) override;

 private:
  void OnAction(int action);
};

}  // namespace corvella::pages
