#include "graph/paint/graph_painter.h"

#include <QPen>

#include "graph/level_response.h"
#include "graph/peq_response.h"
#include "model/scales.h"

namespace corvella::graph::paint {
namespace {

// Band centre lines reach below the graph; the clip cuts them at the bottom edge.
constexpr int kBandMarkerBottom = 236;
constexpr int kCutoffMarkerTop = 10;
constexpr int kCutoffMarkerBottom = 230;
constexpr int kCutoffTickHalf = 20;

// Lines leave out their end point, so joined segments set every pixel once and a line from x to
// x + 40 covers 40 pixels.
QPen SolidPen(const QColor& color) {
  QPen pen(color);
  pen.setWidth(1);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

QPen DashDotPen(const QColor& color) {
  QPen pen = SolidPen(color);
  pen.setDashPattern({9, 6, 3, 6});
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
  painter.drawImage(QPoint(0, 0), background);
  painter.setBackground(QColor(0, 0, 0));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBrush(Qt::NoBrush);
  painter.setClipRect(QRect(0, 0, kGraphWidth, kGraphHeight));
}

void DrawCurve(QPainter& painter, const Rows& rows, const QColor& color) {
  painter.setPen(SolidPen(color));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    Line(painter, GraphPointX[k - 1], rows[k - 1], GraphPointX[k], rows[k]);
  }
}

void DrawPeqGraph(QPainter& painter, const QImage& background, std::span<const PeqBand> bands,
                  const PageCurves& curves, int currentBand, double pixelsPerDb,
                  const QColor& sumColor) {
  BeginGraph(painter, background);
  const QPen marker = DashDotPen(kMarkerPen);
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
    painter.setPen(SolidPen(color));
    Line(painter, 0, kZeroDbRow, kGraphWidth, kZeroDbRow);
  } else {
    DrawCurve(painter, rows, color);
  }
  painter.setPen(DashDotPen(kMarkerPen));
  const CrossoverMarkers m = MarkersFor(settings, rows);
  Line(painter, m.lpfX, kCutoffMarkerTop, m.lpfX, kCutoffMarkerBottom);
  Line(painter, m.lpfX - kCutoffTickHalf, m.lpfRow, m.lpfX + kCutoffTickHalf, m.lpfRow);
  Line(painter, m.hpfX, kCutoffMarkerTop, m.hpfX, kCutoffMarkerBottom);
  Line(painter, m.hpfX - kCutoffTickHalf, m.hpfRow, m.hpfX + kCutoffTickHalf, m.hpfRow);
}

void DrawInputLevelGraph(QPainter& painter, const QImage& background, int levelCode,
                         const QColor& color) {
  BeginGraph(painter, background);
  painter.setPen(SolidPen(color));
  const int y = InputLevelRow(levelCode);
  Line(painter, 0, y, kGraphWidth, y);
}

}  // namespace corvella::graph::paint
