// The shaped page buttons of the main view: a button clipped to its shape that sees the mouse only
// inside that shape, drawn raised, hovered, sunk or embossed in its state colours.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPainterPath>
#include <QPixmap>
#include <QRegion>
#include <array>

namespace corvella::app {

// The four shapes of the main view, in the coordinates they were drawn in.
QRegion PillShape();
QRegion BarShape();
QRegion WideBarShape();
QRegion ArrowShape();

struct RegionButtonColors {
  QColor normal;
  QColor pressed;
  QColor hover;
  QColor disabled;
};

class RegionButton : public QAbstractButton {
  Q_OBJECT

 public:
  // `offset` places the shape's bounding box in the parent; `command` is the page command the
  // button sends through commandTriggered.
  RegionButton(const QString& text, const QRegion& shape, QPoint offset, QWidget* parent,
               int command, int borderWidth, const RegionButtonColors& colors);

  int command() const { return command_; }
  bool isHovered() const { return hover_; }
  // Whether `pos` (widget coordinates) lies inside the shape.
  bool containsPoint(QPoint pos) const;

 signals:
  void commandTriggered(int command);

 protected:
  bool hitButton(const QPoint& pos) const override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Space presses the button as a click does; Enter and Return too.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum State { kNormal = 0, kPressed, kHover, kDisabled, kStateCount };
  void Render();
  QPixmap RenderState(State state) const;
  void SetHover(bool hover);
  void FitMaskToScreen();

  QRegion region_;        // the shape moved so that its bounding box starts at 0,0
  QPainterPath outline_;  // the same as an outline, for finer screens
  QPointF center_;
  int command_;
  int borderWidth_;
  std::array<QColor, kStateCount> colors_;
  std::array<QPixmap, kStateCount> bitmaps_;
  bool hover_ = false;
  bool needsRender_ = true;
};

}  // namespace corvella::app
