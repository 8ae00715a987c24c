#include "graph/chart/system_chart_panes.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace corvella::graph::chart {

namespace {

constexpr std::array<const char*, kCurveCount> kCurveNames = {"HIGH", "LOW", "HIGH + LOW"};
constexpr std::array<const char*, kPaneCount> kPaneTitles = {"Magnitude (dB)", "Phase (degrees)",
                                                             "Group delay (ms)"};
// The magnitude pane shows 60 dB below the top of the curves, in 6 dB steps.
constexpr double kMagnitudeSpanDb = 60.0;
constexpr double kMagnitudeStepDb = 6.0;

QColor CurveColor(int curve) {
  switch (curve) {
    case 0:
      return QColor(0xc6, 0x28, 0x28);
    case 1:
      return QColor(0x15, 0x65, 0xc0);
    default:
      return QColor(0x21, 0x21, 0x21);
  }
}

const std::vector<double>& Values(const ResponseCurve& curve, Pane pane) {
  switch (pane) {
    case Pane::Magnitude:
      return curve.db;
    case Pane::Phase:
      return curve.degrees;
    case Pane::GroupDelay:
      break;
  }
  return curve.groupDelayMs;
}

QString HzText(double hz) {
  return hz < 1000.0 ? QStringLiteral("%1 Hz").arg(hz, 0, 'f', hz < 100.0 ? 1 : 0)
                     : QStringLiteral("%1 kHz").arg(hz / 1000.0, 0, 'f', 2);
}

// The value at a quantile of the finite values, or `fallback` when there are none.
double Quantile(std::vector<double> values, double q, double fallback) {
  values.erase(
      std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
      values.end());
  if (values.empty()) return fallback;
  const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

}  // namespace

// A chart view that reports the frequency under the mouse.
class ReadoutChartView : public QChartView {
 public:
  ReadoutChartView(QChart* chart, std::function<void(double)> hovered)
      : QChartView(chart), hovered_(std::move(hovered)) {
    setMouseTracking(true);
    setRenderHint(QPainter::Antialiasing);
    setOptimizationFlags(QGraphicsView::DontSavePainterState);
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    QChartView::mouseMoveEvent(event);
    const QPointF inScene = mapToScene(event->position().toPoint());
    const QPointF value = chart()->mapToValue(chart()->mapFromScene(inScene));
    if (chart()->plotArea().contains(chart()->mapFromScene(inScene)) && value.x() > 0.0) {
      hovered_(value.x());
    }
  }

 private:
  std::function<void(double)> hovered_;
};

SystemChartPanes::SystemChartPanes(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int p = 0; p < kPaneCount; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    auto* chart = new QChart();
    chart->setTitle(QString::fromLatin1(kPaneTitles[pi]));
    chart->setMargins(QMargins(4, 2, 4, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->setVisible(p == static_cast<int>(Pane::Magnitude));
    // Above the plot, so that the three panes' frequency axes line up.
    chart->legend()->setAlignment(Qt::AlignTop);

    auto* x = new QLogValueAxis();
    x->setBase(10.0);
    x->setRange(kSystemLowestHz, kSystemHighestHz);
    x->setLabelFormat(QStringLiteral("%g"));
    x->setMinorTickCount(8);
    // Solid hairlines: a dashed antialiased grid costs more to draw than all the curves.
    x->setMinorGridLinePen(QPen(QColor(0xe6, 0xe6, 0xe6), 0.0));
    x->setTitleText(p == kPaneCount - 1 ? QStringLiteral("Frequency (Hz)") : QString());
    auto* y = new QValueAxis();
    if (p == static_cast<int>(Pane::Phase)) {
      y->setRange(-180.0, 180.0);
      y->setTickCount(5);
    }
    y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    yAxes_[pi] = y;

    for (int c = 0; c < kCurveCount; ++c) {
      auto* series = new QLineSeries();
      series->setName(QString::fromLatin1(kCurveNames[static_cast<std::size_t>(c)]));
      QPen pen(CurveColor(c));
      pen.setWidthF(1.0);
      series->setPen(pen);
      chart->addSeries(series);
      series->attachAxis(x);
      series->attachAxis(y);
      series_[pi][static_cast<std::size_t>(c)] = series;
    }
    charts_[pi] = chart;
    views_[pi] = new ReadoutChartView(chart, [this](double hz) { ShowReadoutAt(hz); });
    views_[pi]->setMinimumHeight(140);
    views_[pi]->setAccessibleName(chart->title());
    layout->addWidget(views_[pi], 1);
  }
  readout_ = new QLabel(this);
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_->setContentsMargins(6, 3, 6, 3);
  readout_->setText(QStringLiteral("Move the mouse over a pane to read its values."));
  layout->addWidget(readout_);
}

QWidget* SystemChartPanes::PaneView(Pane pane) const {
  return views_[static_cast<std::size_t>(pane)];
}

QLineSeries* SystemChartPanes::Series(Pane pane, int curve) const {
  return series_[static_cast<std::size_t>(pane)][static_cast<std::size_t>(curve)];
}

void SystemChartPanes::SetCurves(const SystemCurves& curves) {
  const SystemCurves previous = std::exchange(curves_, curves);
  // The axes first: a line is laid out once, on its final range.
  FitVerticalAxes();
  const bool sameFrequencies = curves.hz == previous.hz;
  for (int p = 0; p < kPaneCount; ++p) {
    for (int c = 0; c < kCurveCount; ++c) {
      const std::vector<double>& values = Values(curves.Of(c), static_cast<Pane>(p));
      // An edit changes one output: the other's curves are left alone, since every replaced
      // series costs the chart a full layout of its line.
      if (sameFrequencies && values == Values(previous.Of(c), static_cast<Pane>(p))) continue;
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(values.size()));
      for (std::size_t k = 0; k < values.size(); ++k) {
        if (std::isfinite(values[k])) points.append(QPointF(curves.hz[k], values[k]));
      }
      Series(static_cast<Pane>(p), c)->replace(points);
    }
  }
}

void SystemChartPanes::FitVerticalAxes() {
  std::vector<double> db;
  std::vector<double> delay;
  for (int c = 0; c < kCurveCount; ++c) {
    const ResponseCurve& curve = curves_.Of(c);
    db.insert(db.end(), curve.db.begin(), curve.db.end());
    delay.insert(delay.end(), curve.groupDelayMs.begin(), curve.groupDelayMs.end());
  }
  // The top follows the loudest curve; a null's -300 dB floor only runs off the bottom.
  const double loudest = Quantile(db, 1.0, 0.0);
  const double top = std::ceil((loudest + 1.0) / kMagnitudeStepDb) * kMagnitudeStepDb;
  SetAxis(Pane::Magnitude, top - kMagnitudeSpanDb, top,
          static_cast<int>(kMagnitudeSpanDb / (2.0 * kMagnitudeStepDb)) + 1);

  // Group delay spikes at every null; the axis takes the bulk of the values and clips those, on
  // a step of 1, 2 or 5 times a power of ten.
  const double low = std::min(0.0, Quantile(delay, 0.02, 0.0));
  const double high = std::max(low + 1.0, Quantile(delay, 0.98, 1.0));
  const double rough = (high - low) * 1.1 / 5.0;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  const double step = rough <= decade       ? decade
                      : rough <= 2 * decade ? 2 * decade
                      : rough <= 5 * decade ? 5 * decade
                                            : 10 * decade;
  const double bottom = std::floor(low / step) * step;
  const double ceiling = std::ceil(high * 1.05 / step) * step;
  SetAxis(Pane::GroupDelay, bottom, ceiling,
          static_cast<int>(std::lround((ceiling - bottom) / step)) + 1);
}

void SystemChartPanes::SetAxis(Pane pane, double min, double max, int ticks) {
  // Every new range lays out each line of the pane again; most edits leave it as it was.
  QValueAxis* axis = yAxes_[static_cast<std::size_t>(pane)];
  if (axis->min() != min || axis->max() != max) axis->setRange(min, max);
  if (axis->tickCount() != ticks) axis->setTickCount(ticks);
}

QString SystemChartPanes::ReadoutText(double hz) const {
  if (curves_.hz.empty()) return {};
  const auto upper = std::lower_bound(curves_.hz.begin(), curves_.hz.end(), hz);
  std::size_t k = static_cast<std::size_t>(std::distance(curves_.hz.begin(), upper));
  if (k == curves_.hz.size() ||
      (k > 0 && std::log(hz / curves_.hz[k - 1]) < std::log(curves_.hz[k] / hz))) {
    --k;
  }
  QString text = HzText(curves_.hz[k]);
  for (int c = 0; c < kCurveCount; ++c) {
    const ResponseCurve& curve = curves_.Of(c);
    text += QStringLiteral("   %1: ").arg(
        QString::fromLatin1(kCurveNames[static_cast<std::size_t>(c)]));
    if (!std::isfinite(curve.db[k])) {
      text += QStringLiteral("not measured");
      continue;
    }
    text += QStringLiteral("%1 dB, %2\u00b0, %3 ms")
                .arg(curve.db[k], 0, 'f', 2)
                .arg(curve.degrees[k], 0, 'f', 1)
                .arg(curve.groupDelayMs[k], 0, 'f', 3);
  }
  return text;
}

void SystemChartPanes::ShowReadoutAt(double hz) {
  readout_->setText(ReadoutText(hz));
}

QImage SystemChartPanes::RenderImage(QSize size, qreal scale) {
  if (this->size() != size) resize(size);
  if (layout() != nullptr) layout()->activate();
  QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::white);
  render(&image);
  return image;
}

bool SystemChartPanes::RenderSvg(QIODevice& device, QSize size) {
  if (this->size() != size) resize(size);
  if (layout() != nullptr) layout()->activate();
  QSvgGenerator svg;
  svg.setOutputDevice(&device);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(QStringLiteral("System response"));
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  render(&painter);
  return painter.end();
}

}  // namespace corvella::graph::chart
