// A vertical scroll bar used as a spinner beside an edit. It reports the scroll actions the pages
// act on and undoes the moves they ignore, so the thumb never stands where the value does not.
#pragma once

#include <QPointer>
#include <QScrollBar>

#include "pages/page_accessibility.h"

namespace corvella::pages {

class SpinBar : public QScrollBar, public OperatorSlider {
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

  // An edit showing this spinner's value: Up and Down in it, and the wheel over it, step the
  // spinner as its arrows do.
  void AddBuddy(QWidget* edit);

  // OperatorSlider: a screen reader's setting is applied as a released thumb's position.
  void MoveAsOperator(int position) override;
  // The first buddy's text.
  QString ValueText() const override;

 signals:
  // The bar's position already holds the new value (clamped to the range) when this arrives.
  void scrolled(corvella::pages::SpinBar::Code code);

 protected:
  // One notch of the wheel is one arrow click (up raises the value), through the same actions.
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnAction(int action);
  void Wheel(QWheelEvent* event);

  int wheelRest_ = 0;  // eighths of a degree short of a whole notch
  QPointer<QWidget> buddy_;
};

}  // namespace corvella::pages
