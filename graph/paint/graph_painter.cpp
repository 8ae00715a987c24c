#include "graph/paint/graph_painter.h"

#include <QPen>

#include "graph/level_response.h"
#include "graph/paint/graph_background.h"
#include "graph/peq_response.h"
#include "model/scales.h"

namespace corvella::graph::paint {
namespace {

// Band centre lines reach below the graph; the clip cuts them at the bottom edge.
constexpr int kBandMarkerBottom = 236;
constexpr int kCutoffMarkerTop = 10;
constexpr int kCutoffMarkerBottom = 230;
constexpr int kCutoffTickHalf = 20;

// Device pixels per graph pixel of what `painter` draws on: 1 on a classic screen and on every
// picture the tests and exports make, 2 on a 200 % screen.
qreal RatioOf(const QPainter& painter) {
  const QPaintDevice* device = painter.device();
  return device != nullptr ? device->devicePixelRatio() : 1.0;
}

// Lines leave out their end point, so joined segments set every pixel once and a line from x to
// x + 40 covers 40 pixels. On a high-DPI picture they are one device pixel wide, so a curve stays
// a fine line instead of a chain of enlarged pixels.
QPen SolidPen(const QColor& color, qreal ratio) {
  QPen pen(color);
  pen.setWidth(1);
  pen.setCapStyle(Qt::FlatCap);
  if (ratio > 1.0) pen.setCosmetic(true);
  return pen;
}

QPen DashDotPen(const QColor& color, qreal ratio) {
  QPen pen = SolidPen(color, ratio);
  // A cosmetic pen's dashes are counted in device pixels: the same lengths on the graph need
  // `ratio` times as many.
  const qreal scale = ratio > 1.0 ? ratio : 1.0;
  pen.setDashPattern({9 * scale, 6 * scale, 3 * scale, 6 * scale});
  return pen;
}

void Line(QPainter& painter, int x0, int y0, int x1, int y1) {
  painter.drawLine(QPoint(x0, y0), QPoint(x1, y1));
}

}  // namespace

QColor ChannelPenColor(int channel) {
  return channel % 2 == 0 ? kYellowPen : kWhitePen;
}

void BeginGraph(QPainter& painter, const QImage& background) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipping(false);
  const qreal ratio = RatioOf(painter);
  if (ratio > 1.0 && background.devicePixelRatio() != ratio) {
    // The shared background is the classic one; a high-DPI picture gets its fine grid.
    static QImage fine;
    if (fine.devicePixelRatio() != ratio) fine = MakeGraphBackground(ratio);
    painter.drawImage(QPoint(0, 0), fine);
  } else {
    painter.drawImage(QPoint(0, 0), background);
  }
  painter.setBackground(QColor(0, 0, 0));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBrush(Qt::NoBrush);
  painter.setClipRect(QRect(0, 0, kGraphWidth, kGraphHeight));
}

void DrawCurve(QPainter& painter, const Rows& rows, const QColor& color) {
  painter.setPen(SolidPen(color, RatioOf(painter)));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    Line(painter, GraphPointX[k - 1], rows[k - 1], GraphPointX[k], rows[k]);
  }
}

void DrawPeqGraph(QPainter& painter, const QImage& background, std::span<const PeqBand> bands,
                  const PageCurves& curves, int currentBand, double pixelsPerDb,
                  const QColor& sumColor) {
  BeginGraph(painter, background);
  const QPen marker = DashDotPen(kMarkerPen, RatioOf(painter));
  const std::size_t count = std::min(bands.size(), static_cast<std::size_t>(curves.bandCount));
  for (std::size_t b = 0; b < count; ++b) {
    if (static_cast<int>(b) == currentBand) {
      DrawCurve(painter, RowsForCurve(curves.bands[b], pixelsPerDb), kBandPen);
    }
    painter.setPen(marker);
    const int x = BandMarkerX(bands[b]);
    Line(painter, x, 0, x, kBandMarkerBottom);
  }
  DrawCurve(painter, RowsForCurve(curves.sum, pixelsPerDb), sumColor);
}

void DrawCrossoverGraph(QPainter& painter, const QImage& background,
                        const CrossoverSettings& settings, const double db[kGraphPoints],
                        const QColor& color) {
  BeginGraph(painter, background);
  Rows rows{};
  for (std::size_t k = 0; k < rows.size(); ++k) rows[k] = RowForDb(db[k], kOutputPixelsPerDb);
  if (IsCrossoverOff(settings)) {
    painter.setPen(SolidPen(color, RatioOf(painter)));
    Line(painter, 0, kZeroDbRow, kGraphWidth, kZeroDbRow);
  } else {
    DrawCurve(painter, rows, color);
  }
  painter.setPen(DashDotPen(kMarkerPen, RatioOf(painter)));
  const CrossoverMarkers m = MarkersFor(settings, rows);
  Line(painter, m.lpfX, kCutoffMarkerTop, m.lpfX, kCutoffMarkerBottom);
  Line(painter, m.lpfX - kCutoffTickHalf, m.lpfRow, m.lpfX + kCutoffTickHalf, m.lpfRow);
  Line(painter, m.hpfX, kCutoffMarkerTop, m.hpfX, kCutoffMarkerBottom);
  Line(painter, m.hpfX - kCutoffTickHalf, m.hpfRow, m.hpfX + kCutoffTickHalf, m.hpfRow);
}

void DrawInputLevelGraph(QPainter& painter, const QImage& background, int levelCode,
                         const QColor& color) {
  BeginGraph(painter, background);
  painter.setPen(SolidPen(color, RatioOf(painter)));
  const int y = InputLevelRow(levelCode);
  Line(painter, 0, y, kGraphWidth, y);
}

}  // namespace corvella::graph::paint
