#include "pages/page_decor.h"

#include <QFontMetrics>
#include <array>

#include "graph/page_curves.h"
#include "pages/editor_page.h"
#include "pages/page_accessibility.h"

namespace corvella::pages {

namespace {

struct Label {
  int x;
  int y;
  const char* text;
};

constexpr std::array<Label, 14> kAxisLabels = {{
    {25, 50, "+20 (dB)"},
    {35, 118, "0"},
    {25, 174, "-20"},
    {25, 230, "-40"},
    {25, 280, "-60"},
    {45, 295, "20"},
    {118, 295, "50"},
    {175, 295, "100"},
    {230, 295, "200"},
    {310, 295, "500"},
    {370, 295, "1k"},
    {430, 295, "2k"},
    {508, 295, "5k"},
    {605, 295, "20k  (Hz)"},
}};

}  // namespace

void PlaceControl(QWidget* control, int id, int x, int y, int width, int height) {
  control->setObjectName(QString::number(id));
  control->setGeometry(Du(x), Du(y), Du(width), Du(height));
}

void PaintTitleBand(QPainter& painter, int left, int top, int right, int bottom) {
  painter.fillRect(QRect(left, top, right - left, bottom - top), kTitleBandColor);
}

void PaintText(QPainter& painter, int x, int y, const QString& text, const QColor& color) {
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setPen(color);
  painter.drawText(x, y + painter.fontMetrics().ascent(), text);
}

void PaintAxisLabels(QPainter& painter) {
  for (const Label& label : kAxisLabels) {
    PaintText(painter, label.x, label.y, QString::fromLatin1(label.text), Qt::black);
  }
}

GraphControl::GraphControl(QWidget* page) : QWidget(page) {
  PlaceControl(this, 1054, 24, 34, 292, 114);
  InstallPageAccessibility();
  setAccessibleName(QStringLiteral("Response graph"));
  // The control paints all of itself, so drawing the graph never repaints the page beneath,
  // whose painting would arm the graph's timer again.
  setAttribute(Qt::WA_OpaquePaintEvent);
  MakePicture(1.0);
}

void GraphControl::MakePicture(qreal ratio) {
  // Drawn at the screen's own resolution: on a high-DPI screen the curves are fine lines.
  picture_ = QImage(QSize(Du(292), Du(114)) * ratio, QImage::Format_RGB32);
  picture_.setDevicePixelRatio(ratio);
  // Until the first graph, the frame alone; the graph later covers all but its right and bottom
  // edges.
  picture_.fill(kPageBackground);
  QPainter painter(&picture_);
  painter.setPen(Qt::black);
  painter.drawRect(QRect(0, 0, Du(292), Du(114)).adjusted(0, 0, -1, -1));
  hasGraph_ = false;
}

QImage& GraphControl::Canvas() {
  const qreal ratio = devicePixelRatio();
  if (ratio != picture_.devicePixelRatio()) MakePicture(ratio);
  return picture_;
}

void GraphControl::Present() {
  hasGraph_ = true;
  update();
}

void GraphControl::Describe(const graph::Curve& db) {
  const QString text = QString::fromStdString(graph::ResponseSummary(db));
  if (accessibleDescription() != text) setAccessibleDescription(text);
}

void GraphControl::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

}  // namespace corvella::pages
