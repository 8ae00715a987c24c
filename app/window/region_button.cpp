#include "app/window/region_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRectF>

#include "app/window/system_colors.h"
#include "pages/hand_cursor.h"

namespace corvella::app {
QRegion PillShape() {
  return QRegion(16, 0, 64, 31)
      .united(QRegion(0, 0, 32, 32, QRegion::Ellipse))
      .united(QRegion(64, 0, 32, 32, QRegion::Ellipse));
}

QRegion BarShape() {
  return QRegion(0, 0, 73, 31);
}

QRegion WideBarShape() {
  return QRegion(0, 0, 193, 31);
}

namespace {

const QPolygon& ArrowHead() {
  static const QPolygon head({QPoint(0, 32), QPoint(48, 24), QPoint(48, 12), QPoint(136, 36),
                              QPoint(48, 60), QPoint(48, 24)});
  return head;
}

QRegion AtOrigin(const QRegion& shape) {
  return shape.translated(-shape.boundingRect().topLeft());
}

// The outline a shape's region was made from, at its bounding box's origin, for screens finer than
// the region's pixels: there the round and slanted edges follow the outline instead of enlarged
// pixel steps. A shape not made here keeps its region's outline.
QPainterPath OutlineOf(const QRegion& region) {
  QPainterPath path;
  if (region == AtOrigin(PillShape())) {
    // Their union: with the default odd-even rule the ends' overlap with the bar would be holes.
    path.setFillRule(Qt::WindingFill);
    path.addRect(16, 0, 64, 31);
    path.addEllipse(0, 0, 32, 32);
    path.addEllipse(64, 0, 32, 32);
    return path.simplified();
  }
  if (region == AtOrigin(ArrowShape())) {
    path.addPolygon(ArrowHead());
    path.setFillRule(Qt::WindingFill);
    return path.translated(-ArrowShape().boundingRect().topLeft()).simplified();
  }
  path.addRegion(region);
  return path;
}

}  // namespace

QRegion ArrowShape() {
  // The shaft runs out and back along one line and so encloses nothing: only the head remains.
  return QRegion(ArrowHead(), Qt::WindingFill);
}

RegionButton::RegionButton(const QString& text, const QRegion& shape, QPoint offset,
                           QWidget* parent, int command, int borderWidth,
                           const RegionButtonColors& colors)
    : QAbstractButton(parent),
      region_(AtOrigin(shape)),
      outline_(OutlineOf(region_)),
      center_(QRectF(region_.boundingRect()).center()),
      command_(command),
      borderWidth_(borderWidth == 2 ? 2 : 1),
      colors_{colors.normal, colors.pressed, colors.hover, colors.disabled} {
  setText(text);
  // The caption is plain text: the "&" of "COMPRESSOR & LIMITER" would otherwise grab Alt+Space.
  setShortcut(QKeySequence());
  const QRect box = region_.boundingRect();
  setGeometry(QRect(offset, QSize(box.right() + 1, box.bottom() + 1)));
  FitMaskToScreen();
  setMouseTracking(true);
  setCursor(pages::HandCursor());
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QAbstractButton::clicked, this, [this] { emit commandTriggered(command_); });
}

bool RegionButton::containsPoint(QPoint pos) const {
  return rect().contains(pos) && region_.contains(pos);
}

bool RegionButton::hitButton(const QPoint& pos) const {
  return containsPoint(pos);
}

void RegionButton::SetHover(bool hover) {
  if (hover_ == hover) return;
  hover_ = hover;
  update();
}

void RegionButton::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() == Qt::NoButton) SetHover(containsPoint(event->position().toPoint()));
  QAbstractButton::mouseMoveEvent(event);
}

void RegionButton::mousePressEvent(QMouseEvent* event) {
  // Presses in the corners of the bounding box belong to whatever lies beneath the shape.
  if (!containsPoint(event->position().toPoint())) {
    event->ignore();
    return;
  }
  QAbstractButton::mousePressEvent(event);
}

void RegionButton::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

void RegionButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void RegionButton::leaveEvent(QEvent* event) {
  SetHover(false);
  QAbstractButton::leaveEvent(event);
}

void RegionButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) needsRender_ = true;
  QAbstractButton::changeEvent(event);
}

QPixmap RegionButton::RenderState(State state) const {
  // At the screen's resolution, so the caption is as sharp as the view's own texts.
  const qreal ratio = devicePixelRatio();
  const bool fine = ratio > 1.0;
  QPixmap pixmap(size() * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  if (fine) {
    painter.setClipPath(outline_);
  } else {
    painter.setClipRegion(region_);
  }
  painter.fillRect(rect(), colors_[state]);

  const QFontMetrics metrics(font());
  const int textWidth = metrics.horizontalAdvance(text());
  // Centred horizontally on the shape's centre, with the baseline half a font height below it.
  const int baseX = static_cast<int>(center_.x()) - textWidth / 2;
  const int baseY = static_cast<int>(center_.y()) + metrics.height() / 2 - metrics.descent();
  painter.setFont(font());
  if (state == kDisabled) {
    painter.setPen(SysColor::kBtnHighlight);
    painter.drawText(baseX + 1, baseY + 1, text());
    painter.setPen(SysColor::kBtnShadow);
    painter.drawText(baseX, baseY, text());
  } else {
    const int shift = state == kPressed ? borderWidth_ : 0;
    painter.setPen(Qt::white);
    painter.drawText(baseX + shift, baseY + shift, text());
  }

  const bool sunken = state == kPressed;
  struct Edge {
    int d;
    QColor color;
  };
  std::array<Edge, 4> edges{};
  std::size_t edgeCount = 0;
  if (borderWidth_ == 2) {
    edges[0] = {2, sunken ? SysColor::k3dDkShadow : SysColor::kBtnHighlight};
    edges[1] = {-2, sunken ? SysColor::k3dLight : SysColor::kBtnShadow};
    edges[2] = {1, sunken ? SysColor::kBtnShadow : SysColor::k3dLight};
    edges[3] = {-1, sunken ? SysColor::kBtnHighlight : SysColor::k3dDkShadow};
    edgeCount = 4;
  } else {
    edges[0] = {1, sunken ? SysColor::k3dDkShadow : SysColor::kBtnHighlight};
    edges[1] = {-1, sunken ? SysColor::kBtnHighlight : SysColor::k3dDkShadow};
    edgeCount = 2;
  }
  for (std::size_t i = 0; i < edgeCount; ++i) {
    if (fine) {
      painter.setClipPath(outline_.subtracted(outline_.translated(edges[i].d, edges[i].d)));
    } else {
      painter.setClipRegion(region_.subtracted(region_.translated(edges[i].d, edges[i].d)));
    }
    painter.fillRect(rect(), edges[i].color);
  }
  return pixmap;
}

void RegionButton::Render() {
  for (std::size_t s = 0; s < kStateCount; ++s) bitmaps_[s] = RenderState(static_cast<State>(s));
  needsRender_ = false;
}

void RegionButton::FitMaskToScreen() {
  // A mask is made of whole pixels of the layout; on a finer screen the outline clips instead.
  const bool fine = devicePixelRatio() > 1.0;
  if (fine && !mask().isEmpty()) clearMask();
  if (!fine && mask().isEmpty()) setMask(region_);
}

void RegionButton::paintEvent(QPaintEvent*) {
  const bool fine = devicePixelRatio() > 1.0;
  FitMaskToScreen();  // the window may have moved to a screen of another resolution
  if (needsRender_ || bitmaps_[kNormal].devicePixelRatio() != devicePixelRatio()) Render();
  State state = kNormal;
  if (!isEnabled()) {
    state = kDisabled;
  } else if (isDown()) {
    state = kPressed;
  } else if (hover_) {
    state = kHover;
  }
  QPainter painter(this);
  if (fine) {
    painter.setClipPath(outline_);
  } else {
    painter.setClipRegion(region_);
  }
  painter.drawPixmap(0, 0, bitmaps_[state]);
  if (hasFocus()) {
    // The keyboard's mark: a dotted frame round the caption, inside the shape.
    const QFontMetrics metrics(font());
    QRect frame(QPoint(0, 0),
                QSize(metrics.horizontalAdvance(text().trimmed()) + 6, metrics.height() + 2));
    frame.moveCenter(center_.toPoint());
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
  }
}

}  // namespace corvella::app
